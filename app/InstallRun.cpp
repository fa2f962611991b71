#include "app/InstallRun.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Errors.h"
#include "package/Extractor.h"
#include "package/Journal.h"
#include "shell/Drives.h"
#include "shell/Errors.h"
#include "shell/Registry.h"
#include "shell/Shortcut.h"
#include "ui/Forms.h"
#include "win/AnsiCodePage.h"
#include "win/SystemPath.h"
#include "win/WideText.h"

namespace {

constexpr char16_t kPackageFile[] = u"Setup.stp";

std::u16string EnvironmentVariable(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0)
    return {};
  std::wstring buf(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, buf.data(), n);
  return UpToNul(buf.c_str(), got);
}

std::u16string Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof text, "%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
  return FromUtf8(text);
}

bool Exists(const std::u16string& path) {
  return !path.empty() && GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

// Reads the package's index through the held copy and checks it before
// anything is unpacked: a package without a usable index installs nothing,
// and a row that would take a name the run itself uses in the destination
// is refused. Logs every row; returns the unpacked bytes.
int64_t CheckRows(const HeldFile& package, const std::u16string& dest,
                  const TExtractOptions& options, TRunLog& log) {
  const std::vector<TRowPlan> rows = PlanPackage(*package.Reader(), dest, u"", options);
  if (rows.empty())
    throw PackageReadError(NoIndexReason());
  int64_t bytes = 0;
  for (const TRowPlan& row : rows) {
    if (!row.system && row.place.folder.empty() &&
        (SystemSameName(row.place.file, kJournalName) ||
         SystemSameName(row.place.file, kPackageFile))) {
      log.Line(u"Row refused: " + row.targetPath);
      throw PackageReadError(u"the package holds a file named " + row.place.file +
                             u", a name Setup itself uses in the destination folder");
    }
    const bool skipped = row.system && (Exists(row.existsPath) || Exists(row.targetPath));
    log.Line((skipped ? u"Row skipped (a system file stands there): " : u"Row: ") + row.targetPath +
             u" (" + IntToText(row.unpackedSize) + u" bytes)");
    bytes += row.unpackedSize;
  }
  return bytes;
}

}  // namespace

std::u16string FailureLogPath() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH)
    return {};
  return UpToNul(temp, n) + u"Setup-" + ResourceString(1010) + u".log";
}

std::u16string ProposedDestination(const TProductSettings& settings) {
  std::u16string found = FindShortcutFolder(settings.FUninstallName, u"QuickLaunch");
  if (found.empty())
    found = FindShortcutFolder(settings.FUninstallName, u"Desktop");
  // An earlier installation's folder is proposed again even where others
  // may change it: the warning at Install decides, rather than a second
  // copy going elsewhere and orphaning the first.
  return DefaultDestination(found, EnvironmentVariable(L"PROGRAMFILES"), settings.FShortName);
}

TInstallOutcome RunInstallation(int32_t LanguageIndex, const TProductSettings& settings,
                                const TInstallChoices& choices, const TInstallHooks& hooks,
                                TRunLog& log) {
  TInstallOutcome out;
  const TWizardTexts texts = MakeWizardTexts(LanguageIndex, settings);
  // The text made whole once, as the system's own calls would read it: "/"
  // for "\", doubled separators and "." parts, and names ending in a blank
  // or a dot trimmed.
  std::u16string dest = TrimFolderNames(ExpandFileName(NormaliseDestination(choices.destination)));
  if (dest.empty() || dest.back() != u'\\')
    dest += u'\\';
  out.destDir = dest;
  log.Line(u"Destination: " + dest);

  // The destination and the folders on the way to it are opened once, from
  // the drive's root down, and held until the run's caller lets them go; the
  // folder test reads them through their holds, before anything is made or
  // written, and nothing is looked up by its path again.
  std::unique_ptr<FolderTree> tree;
  try {
    tree = std::make_unique<FolderTree>(dest, FolderTree::RootLink::kRefuse, false);
    const std::u16string open = tree->FindOthersMayChange();
    if (open.empty()) {
      log.Line(
          u"Folder test: only administrators may change the destination and the folders "
          u"above it");
    } else {
      log.Line(u"Folder test: others may change " + open);
      if (!hooks.othersMayChange || !hooks.othersMayChange(open)) {
        log.Line(u"Refused: a destination that others may change");
        out.result = TInstallResult::kDeclined;
        out.message = OthersMayChangeText(LanguageIndex, open);
        return out;
      }
      log.Line(u"The warning was answered Yes");
    }
    tree->Make();
  } catch (const LinkError& e) {
    log.Line(u"Failed: the destination is reached through a link: " + e.Link());
    out.result = TInstallResult::kFolderFailed;
    out.message = LinkRefusedText(LanguageIndex, e.Link());
    return out;
  } catch (const FolderChangedError& e) {
    // Made by someone else after the test: its permissions are theirs.
    log.Line(u"Failed: a folder appeared after the folder test: " + e.Folder());
    const std::u16string text = OthersMayChangeText(LanguageIndex, e.Folder());
    out.result = TInstallResult::kFolderFailed;
    out.message = text.substr(0, text.find(u"\n\n"));
    return out;
  } catch (const std::exception& e) {
    log.Line(u"Failed: the destination folder cannot be made: " + MessageOf(e));
    out.result = TInstallResult::kFolderFailed;
    out.message = texts.FMsgFolderNotCreated;
    return out;
  }
  if (hooks.extracting)
    hooks.extracting();

  int64_t unpacked = 0;
  try {
    // The package file is made afresh under a name of its own and moved over
    // whatever lies at its name (a file or a link planted there is replaced,
    // never followed), and held from its first byte until it is deleted:
    // nobody can change, swap or delete what the extractor reads, which it
    // reads through this same open file.
    HeldFile held(tree->Root(), kPackageFile);
    const std::string_view package = ResourceData(L"StpFile", u"SetupPackage");
    held.Write(package.data(), package.size());
    log.Line(u"Package written: " + held.Path() + u" (" +
             IntToText(static_cast<int64_t>(package.size())) + u" bytes)");
    TExtractOptions options;
    options.codePage = &AnsiCodePage();
    options.systemDir = [] { return GetSystemDir(); };
    // Every file on the disk before any target changes; off only in the
    // benchmark's build that measures what this costs.
    options.durable = SETUP_DURABLE != 0;
    // The run's steps in the log, each with its time.
    options.checkpoint = [&log](TTransaction::Step step, size_t) {
      if (step == TTransaction::Step::kAllWritten)
        log.Line(u"Every new file written beside its target");
      else if (step == TTransaction::Step::kFlushed)
        log.Line(u"Every new file on the disk");
      else if (step == TTransaction::Step::kCommitted)
        log.Line(u"Every file in place");
    };
    unpacked = CheckRows(held, dest, options, log);
    {
      const std::unique_ptr<InFile> reader = held.Reader();
      ExtractPackage(*reader, *tree, u"", hooks.progress, options);
    }
    Sleep(50);
    held.Delete();
    log.Line(u"Every file written");
  } catch (const LinkError& e) {
    log.Line(u"Failed: a link in the destination: " + e.Link());
    out.result = TInstallResult::kFailed;
    out.message = LinkRefusedText(LanguageIndex, e.Link());
    return out;
  } catch (const std::exception& e) {
    const std::u16string reason = MessageOf(e);
    log.Line(u"Failed: " + reason);
    out.result = TInstallResult::kFailed;
    out.message = ExtractFailedText(LanguageIndex, reason);
    return out;
  }
  out.tree = std::move(tree);

  // Registration: each step is tried, and each one that fails is told.
  std::vector<std::u16string> undone;
  const auto step = [&](const std::u16string& name, const std::function<void()>& run) {
    try {
      run();
      log.Line(u"Done: " + name);
    } catch (const std::exception& e) {
      log.Line(u"Failed: " + name + u": " + MessageOf(e));
      undone.push_back(name);
    }
  };
  const std::u16string exe = dest + settings.FShortName + u".exe";
  if (choices.desktopShortcut) {
    step(DesktopShortcutStep(LanguageIndex),
         [&] { CreateShortcut(exe, u"", settings.FUninstallName, kDesktop, u""); });
  }
  if (choices.quickLaunchShortcut) {
    step(QuickLaunchShortcutStep(LanguageIndex),
         [&] { CreateShortcut(exe, u"", settings.FUninstallName, kQuickLaunch, u""); });
  }
  step(UninstallEntryStep(LanguageIndex), [&] {
    const std::u16string key = UninstallKeyPath(settings.FUninstallName);
    if (!RegCreateKeyPath(HKEY_LOCAL_MACHINE, key))
      throw RegistryError(u"Failed to create key " + key);
    for (const TUninstallValue& v : UninstallValues(
             LanguageIndex == 0, {settings.FUninstallName, settings.FShortName, settings.FVersion},
             dest, {unpacked, Today()})) {
      const bool written = v.isNumber ? RegWriteNumber(HKEY_LOCAL_MACHINE, key, v.name, v.number)
                                      : RegWriteText(HKEY_LOCAL_MACHINE, key, v.name, v.value);
      if (!written)
        throw RegistryError(u"Failed to open key " + key);
    }
  });
  if (undone.empty()) {
    out.result = TInstallResult::kInstalled;
    log.Line(u"Installed");
  } else {
    out.result = TInstallResult::kRegistrationIncomplete;
    out.message = RegistrationFailedText(LanguageIndex, undone);
    log.Line(u"Installed, but registration is incomplete");
  }
  return out;
}
