// The wizard's texts as the window shows them. The texts themselves are the
// rules' (tested as tables natively); here each reaches its own control, from
// the strings of the program that runs, and what only the window adds: the
// licence's lines joined into the memo, the tips shown in the English run
// only, and the folder picker's prompt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/WizardRules.h"
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

// The static text of a dialog that reads exactly text.
bool HasText(HWND dialog, const std::wstring& text) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t buf[256] = {};
    GetWindowTextW(c, buf, 256);
    if (text == buf)
      return true;
  }
  return false;
}

std::wstring W(const std::u16string& s) {
  return std::wstring(s.begin(), s.end());
}

}  // namespace

TEST(WizardTexts, EachReachesItsControlWithTheLicenceTipsAndFolderPrompt) {
  const struct {
    const char* program;
    bool tips;
    size_t licenceLines;  // the publisher's notice the last
    const wchar_t* firstLine;
    const wchar_t* prompt;
  } cases[] = {
      {"Setup", false, 16, L"诺凡画图 用户许可协议", L"选择或新建文件夹："},
      {"SetupEn", true, 22, L"End User License Agreement", L"Select or create a new folder:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    WizardDriver d;
    ASSERT_TRUE(d.Start(SetupProgram(c.program)));
    const TWizardTexts t = TextsOf(SetupProgram(c.program)).texts;
    EXPECT_EQ(d.WindowCaption(), W(t.Caption));
    const std::pair<int, std::optional<std::u16string>> texts[] = {
        {idBtnPrev, t.FBackCaption},          {idBtnNext, t.FNextCaption},
        {idBtnClose, t.FCancelCaption},       {idLblWelcome, t.lblWelcome},
        {idLblWillInstall, t.lblWillInstall}, {idLblLicense, t.lblLicense},
        {idLblLicenseTip, t.lblLicenseTip},   {idLblAgreement, t.lblAgreement},
        {idLblFolder, t.lblFolder},           {idLblFolderTip, t.lblFolderTip},
        {idLblSetupFolder, t.lblSetupFolder}, {idGbFolder, t.gbFolder},
        {idBtnBrowse, t.btnBrowse},           {idLblNeedSize, t.lblNeedSize},
        {idChkSCOnDesktop, t.chkSCOnDesktop}, {idChkSCOnQuick, t.chkSCOnQuick},
        {idLblComplete, t.lblComplete},       {idLblClose, t.lblClose},
        {idChkRunOnExit, t.chkRunOnExit},
    };
    for (const auto& [id, text] : texts) {
      if (text) {  // else the layout's own
        EXPECT_EQ(d.Text(id), W(*text)) << "control " << id;
      }
    }
    for (int id : {idLblLicenseTip, idLblFolderTip, idLblClose})
      EXPECT_EQ(d.Shown(id), c.tips) << id;
    // One line each, between CR LF pairs; the notice last, after an empty line.
    const std::vector<std::wstring> lines = Lines(d.Text(idMemo2));
    ASSERT_EQ(lines.size(), c.licenceLines);
    EXPECT_EQ(lines.front(), c.firstLine);
    for (const std::wstring& line : lines)
      EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_TRUE(lines[lines.size() - 2].empty());
    EXPECT_FALSE(lines.back().empty());

    d.Click(idBtnNext);
    d.Click(idBtnNext);
    d.ClickNoWait(idBtnBrowse);
    const HWND picker = d.WaitDialog();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(HasText(picker, c.prompt));
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(d.Settle());
    d.CloseWindow();
    EXPECT_TRUE(d.WaitExit());
  }
}
