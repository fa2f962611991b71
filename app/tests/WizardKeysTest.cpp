// The wizard for a person without a mouse or with a screen reader: keys sent
// through SendInput as the keyboard sends them, the names and roles screen
// readers read, and the sizes in the user's decimal separator.
#include <gtest/gtest.h>
#include <initguid.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/tests/SetupPrograms.h"
#include "testsupport/Wait.h"
#include "win/WideText.h"

using testsupport::WaitFor;

namespace {

int Page(WizardDriver& d) {
  const int panels[] = {idPnlStep1, idPnlStep2, idPnlStep3, idPnlStep4};
  for (int i = 0; i < 4; ++i) {
    if (d.Shown(panels[i]))
      return i + 1;
  }
  return 0;
}

struct Key {
  WORD vk;
  bool alt = false;
  bool shift = false;
};
constexpr Key Alt(char c) {
  return {static_cast<WORD>(c), true};
}

const char* ProgramOf(bool chinese) {
  return chinese ? "Setup" : "SetupEn";
}

// Starts the wizard and walks it to a page by clicking Next.
void OpenAt(WizardDriver& d, bool chinese, int page) {
  ASSERT_TRUE(d.Start(SetupProgram(ProgramOf(chinese))));
  for (int p = 1; p < page; ++p)
    d.Click(idBtnNext);
  ASSERT_EQ(Page(d), page);
}

// Brings a running wizard back to a page as it opens there: by its buttons
// (never Next on the folder page, which would install), the folder box as
// proposed, and the focus on Next, the keyboard's own way round.
void BackTo(WizardDriver& d, int page, const std::wstring& folder) {
  while (Page(d) != 0 && Page(d) < page)
    d.Click(idBtnNext);
  while (Page(d) > page)
    d.Click(idBtnPrev);
  ASSERT_EQ(Page(d), page);
  if (page == 3 && !folder.empty() && d.Text(idEditSetupDir) != folder)
    d.Type(idEditSetupDir, folder);
  for (int i = 0; i < 8 && d.FocusedId() != idBtnNext; ++i)
    d.Press(VK_TAB);
  ASSERT_EQ(d.FocusedId(), idBtnNext);
}

constexpr int kEnded = 0;    // the program closed
constexpr int kPicker = -1;  // the folder picker is open

}  // namespace

// Each row: the language, the page it starts on, the keys, then the page it
// ends on (or the program closed, or the folder picker open) and the control
// that has the focus there (0: not checked).
TEST(WizardKeys, EachKeyOnEachPageInBothLanguages) {
  struct Row {
    bool chinese;
    int page;
    std::vector<Key> keys;
    int endPage;
    int focus;
  };
  const Row rows[] = {
      // The welcome page: focus on Next; Enter and the mnemonic press it,
      // Tab goes to Cancel (Back is hidden), Escape cancels.
      {false, 1, {}, 1, idBtnNext},
      {false, 1, {{VK_RETURN}}, 2, idBtnNext},
      {false, 1, {Alt('N')}, 2, idBtnNext},
      {false, 1, {{'N'}}, 2, idBtnNext},  // without Alt: a button takes no characters
      {false, 1, {{VK_TAB}}, 1, idBtnClose},
      {false, 1, {{VK_TAB}, {VK_RETURN}}, kEnded, 0},  // Enter presses the focused Cancel
      {false, 1, {{VK_ESCAPE}}, kEnded, 0},
      {true, 1, {{VK_RETURN}}, 2, idBtnNext},
      {true, 1, {{VK_TAB}}, 1, idBtnClose},
      {true, 1, {{VK_ESCAPE}}, kEnded, 0},
      // The licence: Tab order Next, the licence text, Back, Cancel; Enter in
      // the text presses I Agree, Escape there cancels.
      {false, 2, {Alt('A')}, 3, idBtnNext},
      {false, 2, {Alt('B')}, 1, idBtnNext},
      {false, 2, {{VK_TAB}}, 2, idMemo2},
      {false, 2, {{VK_TAB}, {VK_TAB}}, 2, idBtnPrev},
      {false, 2, {{VK_TAB}, {VK_TAB}, {VK_TAB}}, 2, idBtnClose},
      {false, 2, {{VK_TAB, false, true}}, 2, idBtnClose},
      {false, 2, {{VK_TAB}, {VK_RETURN}}, 3, idBtnNext},
      {false, 2, {{VK_TAB}, {VK_TAB}, {VK_RETURN}}, 1, idBtnNext},  // the focused Back
      {false, 2, {{VK_TAB}, {VK_ESCAPE}}, kEnded, 0},
      {true, 2, {{VK_TAB}, {VK_RETURN}}, 3, idBtnNext},
      {true, 2, {{VK_TAB}, {VK_ESCAPE}}, kEnded, 0},
      // The folder page: Tab order Next, the folder box, Browse, the check
      // box, Back, Cancel. Back and Browse share B: Alt+B moves the focus
      // between them, and Enter presses the one it rests on.
      {false, 3, {{VK_TAB}}, 3, idEditSetupDir},
      {false, 3, {{VK_TAB}, {VK_TAB}}, 3, idBtnBrowse},
      {false, 3, {{VK_TAB}, {VK_TAB}, {VK_TAB}}, 3, idChkSCOnDesktop},
      {false, 3, {{VK_TAB}, {VK_TAB}, {VK_TAB}, {VK_TAB}}, 3, idBtnPrev},
      {false, 3, {Alt('B')}, 3, idBtnBrowse},
      {false, 3, {Alt('B'), Alt('B')}, 3, idBtnPrev},
      {false, 3, {Alt('B'), Alt('B'), {VK_RETURN}}, 2, idBtnNext},
      {false, 3, {Alt('B'), {VK_RETURN}}, kPicker, 0},
      {false, 3, {{VK_TAB}, {'B'}}, 3, idEditSetupDir},  // typed into the folder box
      {false, 3, {{VK_ESCAPE}}, kEnded, 0},
      {true, 3, {Alt('S')}, kPicker, 0},
      {true, 3, {{VK_TAB}, {VK_ESCAPE}}, kEnded, 0},
  };
  // One program per language walks its rows; only a row that ends it makes
  // the next row start a fresh one (those come last in each language).
  std::vector<Row> order(std::begin(rows), std::end(rows));
  std::stable_sort(order.begin(), order.end(), [](const Row& a, const Row& b) {
    return std::make_pair(a.chinese, a.endPage == kEnded) <
           std::make_pair(b.chinese, b.endPage == kEnded);
  });
  std::unique_ptr<WizardDriver> d;
  bool language = false;
  std::wstring folder;
  int starts = 0;
  for (const Row& row : order) {
    std::string label =
        std::string(row.chinese ? "zh" : "en") + " page " + std::to_string(row.page) + " keys";
    for (const Key& k : row.keys)
      label += std::string(" ") + (k.alt ? "Alt+" : "") + (k.shift ? "Shift+" : "") +
               std::to_string(k.vk);
    SCOPED_TRACE(label);
    if (d == nullptr || !d->Running() || language != row.chinese) {
      d = std::make_unique<WizardDriver>();
      language = row.chinese;
      folder.clear();
      ++starts;
      OpenAt(*d, row.chinese, row.page);
    } else {
      BackTo(*d, row.page, folder);
    }
    if (HasFatalFailure())
      return;
    if (row.page == 3 && folder.empty())
      folder = d->Text(idEditSetupDir);  // as proposed
    for (const Key& k : row.keys)
      d->Press(k.vk, k.alt, k.shift);
    if (row.endPage == kEnded) {
      EXPECT_TRUE(d->WaitExit(10000));
      continue;
    }
    if (row.endPage == kPicker) {
      ASSERT_NE(d->WaitDialog(), nullptr);
      d->Press(VK_ESCAPE);  // the picker's own Cancel
      EXPECT_TRUE(WaitFor([&] { return d->WaitDialog(0) == nullptr; }));
      EXPECT_TRUE(d->Settle());
      EXPECT_EQ(Page(*d), 3);
      continue;
    }
    EXPECT_TRUE(WaitFor([&] { return Page(*d) == row.endPage; })) << "on page " << Page(*d);
    if (row.focus != 0) {
      EXPECT_TRUE(WaitFor([&] { return d->FocusedId() == row.focus; }))
          << "focus on " << d->FocusedId();
    }
    // The button Enter presses is drawn as the default one, and only it.
    const int focus = d->FocusedId();
    const int enter =
        focus == idBtnPrev || focus == idBtnClose || focus == idBtnBrowse ? focus : idBtnNext;
    for (int b : {idBtnPrev, idBtnNext, idBtnClose, idBtnBrowse}) {
      const bool isDefault =
          (GetWindowLongPtrW(d->Control(b), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      EXPECT_EQ(isDefault, b == enter && d->Enabled(b)) << "button " << b;
    }
  }
  std::printf("%d rows in %d runs of the wizard\n", static_cast<int>(order.size()), starts);
}

// Enter held down: the keyboard's repeats press nothing, so each press stops
// on the next page (and never reaches Install).
TEST(WizardKeys, HoldingEnterStopsAtEachPage) {
  WizardDriver d;
  OpenAt(d, false, 1);
  for (int page : {2, 3}) {
    d.Hold(VK_RETURN, 8);
    EXPECT_TRUE(WaitFor([&] { return Page(d) == page; })) << "on page " << Page(d);
    EXPECT_TRUE(d.Settle());
    EXPECT_EQ(Page(d), page);
  }
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

// Never on a hidden or disabled control: Install disabled while it has the
// focus hands the focus to the folder box; Enter then presses nothing.
TEST(WizardKeys, FocusLeavesADisabledInstallButton) {
  WizardDriver d;
  OpenAt(d, false, 3);
  ASSERT_EQ(d.FocusedId(), idBtnNext);
  d.Type(idEditSetupDir, L"");
  EXPECT_FALSE(d.Enabled(idBtnNext));
  EXPECT_TRUE(WaitFor([&] { return d.FocusedId() == idEditSetupDir; }));
  d.Press(VK_RETURN);
  EXPECT_EQ(Page(d), 3);
  EXPECT_TRUE(d.Running());
}

// A whole installation with Enter, Tab, Space, Alt+letter and typing alone;
// Escape does nothing on the finish page, which has no Cancel.
TEST(WizardKeys, WholeInstallationByKeyboardAlone) {
  const std::wstring dest = L"C:\\Keyboard Only\\Drawlet";
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  d.Press(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return Page(d) == 2; }));
  d.Press('A', true);
  ASSERT_TRUE(WaitFor([&] { return Page(d) == 3; }));
  d.Press(VK_TAB);  // the folder box, its text selected
  ASSERT_EQ(d.FocusedId(), idEditSetupDir);
  d.TypeKeys(dest);
  EXPECT_EQ(d.Text(idEditSetupDir), dest);
  d.Press(VK_TAB);
  d.Press(VK_TAB);
  ASSERT_EQ(d.FocusedId(), idChkSCOnDesktop);
  d.Press(VK_SPACE);
  EXPECT_FALSE(d.Checked(idChkSCOnDesktop));
  d.Press('I', true);
  ASSERT_TRUE(WaitFor([&] { return Page(d) == 4; }, 60000));
  EXPECT_NE(GetFileAttributesW((dest + L"\\Drawlet.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(WaitFor([&] { return d.FocusedId() == idBtnNext; }));
  d.Press(VK_ESCAPE);
  EXPECT_TRUE(d.Running());
  EXPECT_EQ(Page(d), 4);
  d.Press(VK_TAB);
  ASSERT_EQ(d.FocusedId(), idChkRunOnExit);
  d.Press(VK_SPACE);
  EXPECT_FALSE(d.Checked(idChkRunOnExit));
  d.Press(VK_RETURN);  // on the check box: Finish
  EXPECT_TRUE(d.WaitExit());
}

// What a screen reader reads: every control's name and role through the
// object Windows gives for its window, the progress bar's value.
TEST(WizardKeys, AccessibleNamesAndRoles) {
  struct Row {
    int id;
    std::u16string name;  // empty: none
    long role;
    const wchar_t* value = nullptr;  // nullptr: not checked
  };
  // The names are the rules' texts (tested as tables natively) as a reader
  // says them: without the mnemonic's "&".
  const ProgramTexts program = TextsOf(SetupProgram("SetupEn"));
  const TWizardTexts& t = program.texts;
  const std::u16string& product = program.settings.FProductName;
  const auto said = [](std::u16string text) {
    const size_t amp = text.find(u'&');
    if (amp != std::u16string::npos)
      text.erase(amp, 1);
    return text;
  };
  const std::wstring folder = Env(L"PROGRAMFILES") + L"\\Norvane Soft\\Drawlet";
  const Row rows[] = {
      {idPnlStep1, t.lblWelcome, ROLE_SYSTEM_PANE},
      {idImage1, product, ROLE_SYSTEM_GRAPHIC},
      {idLblWelcome, t.lblWelcome, ROLE_SYSTEM_STATICTEXT},
      {idPnlStep2, *t.lblLicense, ROLE_SYSTEM_PANE},
      {idPanel3, *t.lblLicense, ROLE_SYSTEM_PANE},
      {idImage2, product, ROLE_SYSTEM_GRAPHIC},
      {idBevel2, u"", ROLE_SYSTEM_SEPARATOR},
      {idMemo2, *t.lblLicense, ROLE_SYSTEM_TEXT},
      {idPnlStep3, *t.lblFolder, ROLE_SYSTEM_PANE},
      {idImage3, product, ROLE_SYSTEM_GRAPHIC},
      {idGbFolder, *t.gbFolder, ROLE_SYSTEM_GROUPING},
      {idEditSetupDir, *t.gbFolder, ROLE_SYSTEM_TEXT, folder.c_str()},
      {idBtnBrowse, said(*t.btnBrowse), ROLE_SYSTEM_PUSHBUTTON},
      {idLblNeedSize, t.lblNeedSize, ROLE_SYSTEM_STATICTEXT},
      {idChkSCOnDesktop, said(*t.chkSCOnDesktop), ROLE_SYSTEM_CHECKBUTTON},
      {idPnlStep4, t.lblComplete, ROLE_SYSTEM_PANE},
      {idChkRunOnExit, said(*t.chkRunOnExit), ROLE_SYSTEM_CHECKBUTTON},
      {idProgressBar1, t.progressName, ROLE_SYSTEM_PROGRESSBAR, L"0%"},
      {idBtnPrev, said(t.FBackCaption), ROLE_SYSTEM_PUSHBUTTON},
      {idBtnNext, said(t.FNextCaption), ROLE_SYSTEM_PUSHBUTTON},
      {idBtnClose, said(t.FCancelCaption), ROLE_SYSTEM_PUSHBUTTON},
  };
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    WizardDriver d;
    ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
    for (const Row& row : rows) {
      IAccessible* acc = nullptr;
      ASSERT_EQ(AccessibleObjectFromWindow(d.Control(row.id), OBJID_CLIENT, IID_IAccessible,
                                           reinterpret_cast<void**>(&acc)),
                S_OK)
          << row.id;
      VARIANT self{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR name = nullptr, value = nullptr;
      VARIANT role{};
      acc->get_accName(self, &name);
      acc->get_accRole(self, &role);
      EXPECT_EQ(U(name != nullptr ? name : L""), row.name) << row.id;
      EXPECT_EQ(role.lVal, row.role) << row.id;
      if (row.value != nullptr) {
        acc->get_accValue(self, &value);
        EXPECT_EQ(value != nullptr ? std::wstring(value) : L"", row.value) << row.id;
      }
      SysFreeString(name);
      SysFreeString(value);
      acc->Release();
    }
  }
  CoUninitialize();
}

// The sizes of the folder page take the user's decimal separator, here set
// as a German user's through the registry, on a drive with 1.5 MB free (a
// figure with a tenth, which a whole one would not show).
TEST(WizardKeys, FreeSpaceInTheUsersDecimalSeparator) {
  SmallDrive drive;
  std::string why;
  if (!drive.Make(3 << 19, why))
    GTEST_SKIP() << why;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\International", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t comma[] = L",";
  RegSetValueExW(key, L"sDecimal", 0, REG_SZ, reinterpret_cast<const BYTE*>(comma), sizeof comma);
  WizardDriver d;
  OpenAt(d, false, 3);
  d.Type(idEditSetupDir, L"m:\\Drawlet");  // the drive as typed, in either case
  const std::wstring line = d.Text(idLblFreeSize);
  RegDeleteValueW(key, L"sDecimal");
  RegCloseKey(key);
  EXPECT_EQ(U(line.c_str()), TextsOf(SetupProgram("SetupEn")).texts.FFreeSpaceLabel + u"1,5 MB");
}
