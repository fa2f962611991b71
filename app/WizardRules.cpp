#include "app/WizardRules.h"

#include "common/Convert.h"

namespace {

bool IsBlank(char16_t c) {
  return c <= u' ';
}

std::u16string Trim(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

std::vector<std::u16string> ChineseLicence(const std::u16string& n, bool freeware) {
  std::vector<std::u16string> l = {
      n + u" 用户许可协议",
      u"",
      u"请仔细阅读和理解本用户许可协议中规定的所有权利和限制。在安装时，您需要决定接受或不接受本《"
      u"协议》的条款。如果接受，您可以继续安装，否则应该取消安装。",
      u"",
      u"1. " + n +
          u"（以下简称“本软件”）软件知识产权属软件作者所有，并且受著作权法、国际著作权条约和其它知"
          u"识产权法及条约的保护。",
      u"",
      u"2. "
      u"您不得对本软件进行反向工程、反向编译或反汇编，不得对本软件包含的文件及程序作任何修改，破坏"
      u"软件的完整性。",
      u"",
      freeware ? u""
               : u"3. "
                 u"您可以自由复制或传播本软件。但未经本软件作者允许，不得将本软件产品以任何形式用于"
                 u"任何商业目的。",
      u"",
      u"4. "
      u"本软件保证不含有任何恶意或病毒程序，保证软件本身不会对用户的电脑造成损害，但由于用户的误操"
      u"作导致的任何不良后果，用户须自己承担风险。如果用户使用本软件产品用于任何非法目的，用户必须"
      u"独立承担由此带来的法律责任。同时用户必须遵守所有软件产品使用之相关法律。",
      u"",
  };
  const std::u16string last =
      u"若您未能遵守本《协议》之条款，则本软件作者在不妨碍其他权力之情况下，有权采取包括追究法律责"
      u"任在内的相应措施并终止本《用户许可协议》。";
  if (freeware) {
    l.push_back(u"5. " + last);
  } else {
    l.insert(l.end(), {u"", u"", u"6. " + last});
  }
  l.insert(l.end(), {u"", u"", u"版权所有 (C) 诺凡软件。保留所有权利。"});
  return l;
}

std::vector<std::u16string> EnglishLicence(const std::u16string& n, bool freeware) {
  std::vector<std::u16string> l = {
      u"End User License Agreement",
      u"",
      u"Please read the following terms and conditions carefully before using " + n +
          u". Use of this software indicates you accept the terms of this license agreement and "
          u"warranty.",
      u"",
      u"1. Disclaimer of Warranty",
      u"",
      n + u" (this software) is provided \"as-is\" and without warranty of any kind, express, "
          u"implied or otherwise, including without limitation, any warranty of merchantability "
          u"or fitness for a particular purpose.",
      u"",
      u"In no event shall the author of this software be held liable for data loss, damages, "
      u"loss of profits or any other kind of loss while using or misusing this software.",
      u"",
      u"2. License",
      u"",
      u"",
      u"",
      freeware ? u"But without the permission from the author of this software, this software "
                 u"may not be used for any commercial purposes, in any form."
               : u"",
      u"",
      u"3. Restrictions on Use",
      u"",
      u"This software must not be decompiled, disassembled, reverse engineered or otherwise "
      u"modified.",
      u"",
      u"",
      u"Copyright (C) Norvane Software. All rights reserved.",
  };
  return l;
}

}  // namespace

int32_t ChooseLanguageIndex(const std::u16string& text1007, unsigned ansiCodePage) {
  const int32_t value = TextToInt(text1007);
  if (value != -1)
    return value;
  return ansiCodePage == 936 ? 0 : 2;
}

TProductSettings LoadProductSettings(const std::function<std::u16string(int id)>& strings,
                                     int32_t LanguageIndex) {
  TProductSettings s;
  s.FShortName = strings(1010);
  s.FVersion = strings(1011);
  s.FSizeText = strings(1012);
  const std::u16string freeware = strings(1009);
  // A missing flag is an empty text, which is no boolean either.
  s.FFreeware = freeware.empty() ? TextToBool(u"") : TextToBool(freeware);
  s.FProductName = strings(LanguageIndex == 0 ? 1002 : 1001);
  s.FUninstallName = strings(LanguageIndex == 0 ? 1004 : 1003);
  return s;
}

TWizardTexts MakeWizardTexts(int32_t LanguageIndex, const TProductSettings& p) {
  const std::u16string& n = p.FProductName;
  const std::u16string& v = p.FVersion;
  TWizardTexts t;
  if (LanguageIndex == 0) {
    t.Caption = u"安装向导 - " + n;
    t.FBackCaption = u"上一步";
    t.FNextCaption = u"下一步";
    t.FCancelCaption = u"取 消";
    t.FAgreeCaption = u"我同意";
    t.FFinishCaption = u"完 成";
    t.FInstallCaption = u"安 装";
    t.FMsgFolderNotCreated = u"无法创建目标文件夹，请重新指定文件夹路径。";
    t.FMsgExtractFailed =
        u"提取文件到目标文件夹时发生错误。\n\n您是否正在运行这个软件的旧版本？如果是，请先关闭它，"
        u"然后再次点击“安装”。";
    t.FBrowsePrompt = u"选择或新建文件夹：";
    t.FFreeSpaceLabel = u"剩余空间: ";
    t.progressName = u"安装进度";
    t.lblWelcome = u"欢迎使用 " + n + u" V" + v + u" 安装\n向导";
    t.lblWillInstall =
        u"此向导将引导您完成安装过程。\n\n单击 [下一步] 继续，单击 [取消] 退出安装。";
    t.lblSetupFolder =
        u"安装程序将安装“" + n + u" V" + v +
        u"”到下列文件夹中。\n\n如需安装到其它的文件夹，请直接修改或单击 [浏览] 选择另一个文件夹。";
    t.lblNeedSize = u"所需空间: " + p.FSizeText;
    t.lblComplete = n + u" V" + v + u" 安装成功。";
    t.licence = ChineseLicence(n, p.FFreeware);
    return t;
  }
  t.Caption = u"Setup - " + n;
  t.FBackCaption = u"< &Back";
  t.FNextCaption = u"&Next >";
  t.FCancelCaption = u"Cancel";
  t.FAgreeCaption = u"I &Agree";
  t.FFinishCaption = u"&Finish";
  t.FInstallCaption = u"&Install";
  t.FMsgFolderNotCreated = u"Destination folder can't be created, need to select another folder.";
  t.FMsgExtractFailed =
      u"An error occurred extracting files to the destination folder.\n\nWhether you're running "
      u"an older version of this software? If yes, please close it and then click Install.";
  t.FBrowsePrompt = u"Select or create a new folder:";
  t.FFreeSpaceLabel = u"Space available: ";
  t.progressName = u"Installation progress";
  t.lblWelcome = u"Welcome to the " + n + u" " + v + u" Setup Wizard";
  t.lblWillInstall = u"This will install " + n + u" " + v +
                     u" on your computer.\n\nClick Next to continue, or Cancel to exit Setup.";
  t.lblLicense = u"License Agreement";
  t.lblLicenseTip = u"Please read the following important infomation before continuing.";
  t.lblAgreement =
      u"If you accept the terms of the agreement, click I Agree to continue. You must "
      u"accept the agreement to install " +
      n + u".";
  t.lblFolder = u"Select Destination Location";
  t.lblFolderTip = u"Where should " + n + u" be installed?";
  t.lblSetupFolder = u"Setup will install " + n + u" " + v +
                     u" into the following folder.\n\nTo continue, click Next. If you would like "
                     u"to select a different folder, click Browse.";
  t.gbFolder = u"Destination Folder";
  t.btnBrowse = u"&Browse...";
  t.lblNeedSize = u"Space required: " + p.FSizeText;
  t.chkSCOnDesktop = u"Create a desktop icon";
  t.chkSCOnQuick = u"Create a Quick Launch icon";
  t.lblComplete = u"Completing the " + n + u" Setup Wizard";
  t.lblClose = u"Setup has finished installing " + n + u" " + v +
               u" on your computer.\n\nClick Finish to close this wizard.";
  t.chkRunOnExit = u"Launch " + n;
  t.showTips = true;
  t.licence = EnglishLicence(n, p.FFreeware);
  return t;
}

TPageView IdleView(int32_t FStep, bool freeSizeVisible) {
  TPageView v{};
  for (int i = 0; i < 4; ++i)
    v.pageVisible[i] = FStep == i + 1;
  v.prevVisible = FStep == 2 || FStep == 3;
  v.closeVisible = FStep < 4;
  v.nextEnabled = FStep != 3 || freeSizeVisible;
  return v;
}

bool FreeSpaceShown(const std::u16string& text, const std::u16string& fixedDrives) {
  if (text.empty())
    return false;
  char16_t c = text[0];
  if (c >= u'a' && c <= u'z')
    c = static_cast<char16_t>(c - 32);
  if (fixedDrives.find(c) == std::u16string::npos)
    return false;
  return text.size() >= 3 && text[1] == u':' && text[2] == u'\\';
}

std::u16string NormaliseDestination(const std::u16string& text) {
  if (!text.empty() && text.back() == u'\\')
    return Trim(text);
  return Trim(text + u"\\");
}

std::u16string OthersMayChangeText(int32_t LanguageIndex, const std::u16string& folder) {
  if (LanguageIndex == 0) {
    return u"非管理员用户可以更改文件夹“" + folder +
           u"”：他们可以替换安装在其中的程序，而这些程序会以管理员权限运行。\n\n建议选择 Program "
           u"Files 下的文件夹。单击“否”返回并选择其它文件夹，单击“是”仍然安装到这里。";
  }
  return u"Users who are not administrators can change the folder " + folder +
         u": they could replace the programs installed there, which run with administrator "
         u"rights.\n\nA folder under Program Files is safe. Click No to go back and choose "
         u"another folder, or Yes to install here anyway.";
}

std::u16string LinkRefusedText(int32_t LanguageIndex, const std::u16string& link) {
  if (LanguageIndex == 0) {
    return u"“" + link +
           u"”是一个链接（连接点或符号链接），安装程序不会通过链接写入文件。\n\n请选择其它文件夹。";
  }
  return link +
         u" is a link (a junction or a symbolic link), and Setup writes nothing through a "
         u"link.\n\nPlease choose another folder.";
}

std::u16string DefaultDestination(const std::u16string& foundFolder,
                                  const std::u16string& programFiles,
                                  const std::u16string& shortName) {
  if (!foundFolder.empty())
    return foundFolder.substr(0, foundFolder.size() - 1);
  return programFiles + u"\\Norvane Soft\\" + shortName;
}

std::u16string TrimFolderNames(const std::u16string& path) {
  std::u16string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    const bool last = end == std::u16string::npos;
    if (last)
      end = path.size();
    std::u16string part = path.substr(start, end - start);
    const bool drive = start == 0 && part.size() == 2 && part[1] == u':';
    if (!drive && !part.empty()) {
      while (!part.empty() && (part.back() == u' ' || part.back() == u'.'))
        part.pop_back();
      if (part.empty() && !last) {
        start = end + 1;
        continue;
      }
    }
    out += part;
    if (!last)
      out += u'\\';
    start = end + 1;
  }
  return out;
}

std::u16string ExtractFailedText(int32_t LanguageIndex, const std::u16string& reason) {
  const bool chinese = LanguageIndex == 0;
  if (reason.find(u"Setup.journal") != std::u16string::npos) {
    return chinese
               ? u"目标文件夹中的 Setup.journal 文件无法读取（已损坏，或不是本安装程序留下的）。"
                 u"\n\n" +
                     reason +
                     u"\n\n请把这个文件移出该文件夹，或者选择另一个文件夹，然后再次点击“安装”。"
               : u"The file Setup.journal in the destination folder cannot be read (it is "
                 u"damaged, or another program left it).\n\n" +
                     reason +
                     u"\n\nMove that file out of the folder, or choose another folder, and "
                     u"then click Install.";
  }
  const std::u16string own = MakeWizardTexts(LanguageIndex, {}).FMsgExtractFailed;
  if (reason.empty())
    return own;
  return own + (chinese ? u"\n\n原因：" : u"\n\nReason: ") + reason;
}

std::u16string RegistrationFailedText(int32_t LanguageIndex,
                                      const std::vector<std::u16string>& undone) {
  std::u16string list;
  for (const std::u16string& step : undone)
    list += u"\n- " + step;
  return LanguageIndex == 0 ? u"文件已经安装，但下列步骤失败了：" + list +
                                  u"\n\n请以管理员身份再次运行安装程序来完成它们。"
                            : u"The files were installed, but these steps failed:" + list +
                                  u"\n\nRun Setup again as an administrator to complete them.";
}

std::u16string DesktopShortcutStep(int32_t LanguageIndex) {
  return LanguageIndex == 0 ? u"创建桌面快捷方式" : u"the desktop shortcut";
}

std::u16string QuickLaunchShortcutStep(int32_t LanguageIndex) {
  return LanguageIndex == 0 ? u"创建快速启动栏快捷方式" : u"the Quick Launch shortcut";
}

std::u16string UninstallEntryStep(int32_t LanguageIndex) {
  return LanguageIndex == 0 ? u"在“添加或删除程序”中登记（卸载项）"
                            : u"the entry in the list of installed programs (uninstall key)";
}

std::u16string UnknownFreeSpaceText(int32_t LanguageIndex) {
  return LanguageIndex == 0 ? u"未知" : u"unknown";
}

std::u16string WithLogPath(int32_t LanguageIndex, const std::u16string& message,
                           const std::u16string& logPath) {
  if (logPath.empty())
    return message;
  return message + (LanguageIndex == 0 ? u"\n\n安装日志：" : u"\n\nThe log of this run: ") +
         logPath;
}

std::u16string AlreadyRunningText(int32_t LanguageIndex) {
  return LanguageIndex == 0 ? u"本软件的另一个安装程序正在运行。请等它结束后再试。"
                            : u"Another Setup of this product is already running. Wait until it "
                              u"has finished, then try again.";
}

std::u16string NoIndexReason() {
  return u"the setup package has no usable list of files";
}

std::u16string ConflictHomePage() {
  return std::u16string(u"http://") + kPublisherHost + u"/index_chs.shtml";
}

std::u16string ConflictProductName(const std::u16string& productId) {
  return productId == u"Clockrun" ? u"诺凡定时助手" : u"诺凡画图";
}

std::u16string ConflictBody(const std::u16string& name) {
  return u"首先，感谢您使用“" + name + u"”软件。\n\n" +
         u"但由于检测到您的系统正在运行“金山毒霸”，" + name +
         u"会被其错误和非法干扰，因此如果您希望能正常运行" + name + u"，请更换其它" +
         u"更好更流行的免费防毒杀毒软件，比如360，COMODO等。\n\n" +
         u"为此给您带来的不便，软件作者在此深表歉意。";
}
