#include "uninst/UninstallRules.h"

#include <algorithm>

#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "package/Errors.h"
#include "package/Names.h"

namespace {

std::u16string NameAndVersion(const std::u16string& name, const std::u16string& version) {
  return version.empty() ? name : name + u" " + version;
}

}  // namespace

TUninstallTexts MakeUninstallTexts(bool chinese, const std::u16string& displayName,
                                   const std::u16string& displayVersion) {
  const std::u16string product = NameAndVersion(displayName, displayVersion);
  if (chinese) {
    return {
        u"卸载 " + displayName,
        u"确实要从此计算机中删除 " + product +
            u" 吗？\n\n将删除其程序文件、快捷方式和注册表项。您在其文件夹中创建或添加的文件将被保"
            u"留。",
        product + u" 已从此计算机中删除。"};
  }
  return {u"Uninstall " + displayName,
          u"Do you want to remove " + product +
              u" from this computer?\n\nIts program files, shortcuts and registry entry will be "
              u"removed. Files you created or added in its folder are kept.",
          product + u" has been removed from this computer."};
}

std::u16string FileInUseText(bool chinese, const std::u16string& displayName,
                             const std::u16string& path, const std::u16string& reason) {
  if (chinese) {
    return u"无法删除以下文件，它可能正在使用：\n\n" + path +
           (reason.empty() ? u"" : u"\n（" + reason + u"）") + u"\n\n请关闭 " + displayName +
           u" 以及可能正在使用该文件的其他程序，然后再次运行卸载程序。" + displayName +
           u" 仍保留在已安装程序列表中。";
  }
  return u"This file cannot be deleted; it may be in use:\n\n" + path +
         (reason.empty() ? u"" : u"\n(" + reason + u")") + u"\n\nClose " + displayName +
         u" and any other program that may be using the file, then run the uninstaller again. " +
         displayName + u" stays in the list of installed programs until then.";
}

std::u16string KeyKeptText(bool chinese, const std::u16string& displayName,
                           const std::u16string& reason) {
  if (chinese) {
    return u"已删除 " + displayName + u" 的文件，但无法从已安装程序列表中删除其条目" +
           (reason.empty() ? u"" : u"（" + reason + u"）") +
           u"。\n\n请以管理员身份再次运行卸载程序。";
  }
  return u"The files of " + displayName +
         u" have been removed, but its entry in the list of installed programs cannot be "
         u"deleted" +
         (reason.empty() ? u"" : u" (" + reason + u")") +
         u".\n\nRun the uninstaller again as an administrator.";
}

std::u16string NotInstalledText(bool chinese, const std::u16string& programPath) {
  if (chinese) {
    return u"已安装程序列表中没有指向此卸载程序的条目：\n\n" + programPath +
           u"\n\n该程序可能已被卸载。未删除任何内容。";
  }
  return u"No entry in the list of installed programs belongs to this uninstaller:\n\n" +
         programPath + u"\n\nThe program may have been removed already. Nothing was removed.";
}

std::u16string PlainCaption(bool chinese) {
  return chinese ? u"卸载" : u"Uninstall";
}

std::u16string NoListText(bool chinese, const std::u16string& detail) {
  if (chinese) {
    return u"此卸载程序缺少已安装文件的列表或列表已损坏，因此无法安全地删除任何内容：\n\n" +
           detail + u"\n\n未删除任何内容。";
  }
  return u"This uninstaller's list of installed files is missing or damaged, so nothing can be "
         u"removed safely:\n\n" +
         detail + u"\n\nNothing was removed.";
}

std::u16string UnknownOptionText(bool chinese, const std::u16string& option) {
  if (chinese)
    return u"未知选项“" + option + u"”。卸载程序只接受 /S（静默卸载）。";
  return u"Unknown option \"" + option + u"\". The uninstaller takes only /S (remove silently).";
}

std::u16string NeedsAdministratorText(bool chinese, const std::u16string& displayName) {
  if (chinese) {
    return u"只有管理员才能卸载 " + displayName +
           u"。\n\n请以管理员身份再次运行卸载程序（右键单击它，然后选择“以管理员身份运行”）。"
           u"未删除任何内容。";
  }
  return displayName +
         u" can only be removed by an administrator.\n\nRun the uninstaller again as an "
         u"administrator (right-click it and choose \"Run as administrator\"). Nothing was "
         u"removed.";
}

std::u16string FolderOthersMayChangeText(bool chinese, const std::u16string& displayName,
                                         const std::u16string& folder) {
  if (chinese) {
    return u"非管理员用户可以更改文件夹“" + folder + u"”：其中的文件可能已不是安装的 " +
           displayName + u"。\n\n为安全起见，卸载程序未删除任何内容。";
  }
  return u"Users who are not administrators can change the folder " + folder +
         u": what is in it may no longer be what " + displayName +
         u" installed.\n\nTo be safe, the uninstaller removed nothing.";
}

TRemovalPlan PlanRemoval(const std::vector<TUninstallRow>& rows, const std::u16string& destDir,
                         const std::u16string& programPath) {
  TRemovalPlan plan;
  bool setupListed = false;
  for (const TUninstallRow& row : rows) {
    if (row.system || IsSystemFolder(row.folder))
      continue;
    // Found again by the rule the extractor placed it by.
    TRowPlace place;
    try {
      place = PlaceRowFile(row.folder, row.name);
    } catch (const PackageReadError& e) {
      throw Error(u"the list of installed files names \"" + row.folder + row.name +
                  u"\", which is no file of the destination folder: " + e.Message());
    }
    const std::u16string& folder = place.folder;
    const std::u16string path = destDir + place.Path();
    if (SamePath(place.Path(), u"Setup.stp"))
      setupListed = true;
    if (!SamePath(path, programPath) &&
        std::none_of(plan.files.begin(), plan.files.end(),
                     [&](const std::u16string& f) { return SamePath(f, path); })) {
      plan.files.push_back(path);
    }
    for (size_t cut = folder.find(u'\\'); cut != std::u16string::npos;
         cut = folder.find(u'\\', cut + 1)) {
      const std::u16string f = destDir + folder.substr(0, cut + 1);
      if (std::none_of(plan.folders.begin(), plan.folders.end(),
                       [&](const std::u16string& g) { return SamePath(g, f); })) {
        plan.folders.push_back(f);
      }
    }
  }
  if (!setupListed)
    plan.files.push_back(destDir + u"Setup.stp");
  std::stable_sort(plan.folders.begin(), plan.folders.end(),
                   [](const std::u16string& a, const std::u16string& b) {
                     return std::count(a.begin(), a.end(), u'\\') >
                            std::count(b.begin(), b.end(), u'\\');
                   });
  return plan;
}

std::optional<TRelativeRow> RelativeRow(const std::u16string& path, const std::u16string& destDir) {
  if (!LiesIn(path, destDir))
    return std::nullopt;
  TPathSplit split = SplitPath(std::u16string_view(path).substr(destDir.size()));
  TRelativeRow row;
  row.folder = std::move(split.folder);
  row.name = std::move(split.name);
  for (size_t start = 0; start < row.folder.size();) {
    const size_t end = row.folder.find(u'\\', start);
    const std::u16string level = row.folder.substr(start, end - start);
    if (level.empty() || level == u"." || level == u"..")
      return std::nullopt;
    start = end + 1;
  }
  if (row.name == u"." || row.name == u"..")
    return std::nullopt;
  return row;
}
