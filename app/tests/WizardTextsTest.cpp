// Every text of the wizard in both languages, as the real window shows it,
// and the licence line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/SetupPrograms.h"

namespace {

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(L"\r\n", start);
    lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
    if (end == std::wstring::npos)
      return lines;
    start = end + 2;
  }
}

void ExpectTexts(WizardDriver& d, const std::vector<std::pair<int, std::wstring>>& texts) {
  for (const auto& [id, text] : texts)
    EXPECT_EQ(d.Text(id), text) << "control " << id;
}

// The licence's lines but its last, the publisher's notice, which must be
// there; an empty line comes before it.
void ExpectLicence(WizardDriver& d, const std::vector<std::wstring>& expected) {
  const std::vector<std::wstring> lines = Lines(d.Text(idMemo2));
  ASSERT_EQ(lines.size(), expected.size() + 1);
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
  EXPECT_FALSE(lines.back().empty());
}

}  // namespace

TEST(WizardTexts, EveryEnglishText) {
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  EXPECT_EQ(d.WindowCaption(), L"Setup - Norvane Drawlet");
  ExpectTexts(
      d,
      {
          {idBtnPrev, L"< &Back"},
          {idBtnNext, L"&Next >"},
          {idBtnClose, L"Cancel"},
          {idLblWelcome, L"Welcome to the Norvane Drawlet 3.50 Setup Wizard"},
          {idLblWillInstall,
           L"This will install Norvane Drawlet 3.50 on your computer.\n\nClick Next to continue, "
           L"or Cancel to exit Setup."},
          {idLblLicense, L"License Agreement"},
          {idLblLicenseTip, L"Please read the following important infomation before continuing."},
          {idLblAgreement,
           L"If you accept the terms of the agreement, click I Agree to continue. You must accept "
           L"the agreement to install Norvane Drawlet."},
          {idLblFolder, L"Select Destination Location"},
          {idLblFolderTip, L"Where should Norvane Drawlet be installed?"},
          {idLblSetupFolder,
           L"Setup will install Norvane Drawlet 3.50 into the following folder.\n\nTo continue, "
           L"click Next. If you would like to select a different folder, click Browse."},
          {idGbFolder, L"Destination Folder"},
          {idBtnBrowse, L"&Browse..."},
          {idLblNeedSize, L"Space required: 6 MB"},
          {idChkSCOnDesktop, L"Create a desktop icon"},
          {idChkSCOnQuick, L"Create a Quick Launch icon"},
          {idLblComplete, L"Completing the Norvane Drawlet Setup Wizard"},
          {idLblClose,
           L"Setup has finished installing Norvane Drawlet 3.50 on your computer.\n\nClick Finish "
           L"to close this wizard."},
          {idChkRunOnExit, L"Launch Norvane Drawlet"},
      });
  for (int id : {idLblLicenseTip, idLblFolderTip, idLblClose})
    EXPECT_TRUE(d.Shown(id)) << id;
  // The shipped product is freeware: its clause on commercial use is there.
  ExpectLicence(
      d, {
             L"End User License Agreement",
             L"",
             L"Please read the following terms and conditions carefully before using Norvane "
             L"Drawlet. Use of this software indicates you accept the terms of this license "
             L"agreement and warranty.",
             L"",
             L"1. Disclaimer of Warranty",
             L"",
             L"Norvane Drawlet (this software) is provided \"as-is\" and without warranty of any "
             L"kind, express, implied or otherwise, including without limitation, any warranty of "
             L"merchantability or fitness for a particular purpose.",
             L"",
             L"In no event shall the author of this software be held liable for data loss, "
             L"damages, loss of profits or any other kind of loss while using or misusing this "
             L"software.",
             L"",
             L"2. License",
             L"",
             L"",
             L"",
             L"But without the permission from the author of this software, this software may not "
             L"be used for any commercial purposes, in any form.",
             L"",
             L"3. Restrictions on Use",
             L"",
             L"This software must not be decompiled, disassembled, reverse engineered or otherwise "
             L"modified.",
             L"",
             L"",
         });
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

TEST(WizardTexts, EveryChineseText) {
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("Setup")));
  EXPECT_EQ(d.WindowCaption(), L"安装向导 - 诺凡画图");
  ExpectTexts(
      d,
      {
          {idBtnPrev, L"上一步"},
          {idBtnNext, L"下一步"},
          {idBtnClose, L"取 消"},
          {idLblWelcome, L"欢迎使用 诺凡画图 V3.50 安装\n向导"},
          {idLblWillInstall,
           L"此向导将引导您完成安装过程。\n\n单击 [下一步] 继续，单击 [取消] 退出安装。"},
          {idLblLicense, L"在安装之前，请阅读许可协议"},
          {idLblAgreement, L"如果您接受协议中的条款，请单击 [我同意] 继续安装。"},
          {idLblFolder, L"选择安装位置并设置选项"},
          {idLblSetupFolder,
           L"安装程序将安装“诺凡画图 V3.50”到下列文件夹中。\n\n如需安装到其它的文件夹，请直接修改"
           L"或单击 [浏览] 选择另一个文件夹。"},
          {idGbFolder, L"目标文件夹"},
          {idBtnBrowse, L"浏览(&S)..."},
          {idLblNeedSize, L"所需空间: 6 MB"},
          {idChkSCOnDesktop, L"创建桌面快捷方式"},
          {idChkSCOnQuick, L"创建快速启动栏快捷方式"},
          {idLblComplete, L"诺凡画图 V3.50 安装成功。"},
          {idChkRunOnExit, L"立即运行软件"},
      });
  for (int id : {idLblLicenseTip, idLblFolderTip, idLblClose})
    EXPECT_FALSE(d.Shown(id)) << id;
  ExpectLicence(
      d,
      {
          L"诺凡画图 用户许可协议",
          L"",
          L"请仔细阅读和理解本用户许可协议中规定的所有权利和限制。在安装时，您需要决定接受或不接受"
          L"本《协议》的条款。如果接受，您可以继续安装，否则应该取消安装。",
          L"",
          L"1. 诺凡画图（以下简称“本软件”）软件知识产权属软件作者所有，并且受著作权法、国际著作权条"
          L"约和其它知识产权法及条约的保护。",
          L"",
          L"2. 您不得对本软件进行反向工程、反向编译或反汇编，不得对本软件包含的文件及程序作任何修改"
          L"，破坏软件的完整性。",
          L"",
          L"",
          L"",
          L"4. 本软件保证不含有任何恶意或病毒程序，保证软件本身不会对用户的电脑造成损害，但由于用户"
          L"的误操作导致的任何不良后果，用户须自己承担风险。如果用户使用本软件产品用于任何非法目的"
          L"，"
          L"用户必须独立承担由此带来的法律责任。同时用户必须遵守所有软件产品使用之相关法律。",
          L"",
          L"5. 若您未能遵守本《协议》之条款，则本软件作者在不妨碍其他权力之情况下，有权采取包括追究"
          L"法律责任在内的相应措施并终止本《用户许可协议》。",
          L"",
          L"",
      });
  // The folder picker's prompt.
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  d.ClickNoWait(idBtnBrowse);
  HWND picker = d.WaitDialog();
  ASSERT_NE(picker, nullptr);
  bool prompt = false;
  for (HWND c = GetWindow(picker, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t text[256] = {};
    GetWindowTextW(c, text, 256);
    prompt = prompt || std::wstring(text) == L"选择或新建文件夹：";
  }
  EXPECT_TRUE(prompt);
  PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(d.Settle());
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}
