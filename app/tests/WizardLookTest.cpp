// How the wizard looks on other screens and schemes: its size and its texts
// at 120 and 144 DPI in both languages (every text measured against its
// control with the control's own font), the system's colours, the icons and
// the window's place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/SetupPrograms.h"

namespace {

bool ReadValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD& type,
               std::vector<BYTE>& data) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  bool ok = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    data.resize(size);
    ok = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

void WriteValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
}

void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
  }
}

// A value of the registry, set for the programs started after it and put
// back (or removed) when it goes.
class ScopedValue {
 public:
  ScopedValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
              DWORD size)
      : root_(root), path_(path), name_(name) {
    had_ = ReadValue(root, path_, name_, oldType_, old_);
    WriteValue(root, path_, name_, type, data, size);
  }
  ~ScopedValue() {
    if (had_)
      WriteValue(root_, path_, name_, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
    else
      DeleteValue(root_, path_, name_);
  }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  HKEY root_;
  std::wstring path_, name_;
  DWORD oldType_ = 0;
  std::vector<BYTE> old_;
  bool had_ = false;
};

class ScopedDword : public ScopedValue {
 public:
  ScopedDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value)
      : ScopedValue(root, path, name, REG_DWORD, &value, sizeof value) {}
};

// The DPI that programs started after it are given: the user's setting and
// the machine's font setting, as the display settings write them.
class ScopedDpi {
 public:
  explicit ScopedDpi(DWORD dpi)
      : user_(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", dpi),
        machine_(HKEY_LOCAL_MACHINE,
                 L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
                 L"LogPixels", dpi) {}

 private:
  ScopedDword user_, machine_;
};

// 96-DPI pixels at this DPI, rounded to the nearest.
int Scaled(int pixels, int dpi) {
  return MulDiv(pixels, dpi, 96);
}

std::string Utf8(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  return s;
}

// The font a control of the wizard is drawn in, at this DPI. Another
// process cannot ask a window for its font, so the fonts the wizard is meant
// to have are made here; WizardTextsTest compares them with the window's
// pixels.
LOGFONTW WizardFont(int id, bool chinese, int dpi) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfWeight = FW_NORMAL;
  lf.lfHeight = -MulDiv(8, dpi, 72);
  const wchar_t* face = L"Tahoma";
  switch (id) {
    case idLblWelcome:
      lf.lfHeight = -MulDiv(16, dpi, 96);
      lf.lfWeight = FW_BOLD;
      face = chinese ? L"宋体" : L"Tahoma";
      break;
    case idLblComplete:
      lf.lfHeight = -MulDiv(12, dpi, 72);
      lf.lfWeight = FW_BOLD;
      face = chinese ? L"宋体" : L"Tahoma";
      break;
    case idLblWillInstall:
    case idLblSetupFolder:
      if (chinese) {
        lf.lfHeight = -MulDiv(9, dpi, 72);
        face = L"宋体";
      }
      break;
    case idLblLicense:
    case idLblFolder:
      lf.lfWeight = FW_BOLD;
      break;
    default:
      break;
  }
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  return lf;
}

enum class Kind { Label, WrapLabel, Check, Button, Group };

struct Measured {
  int id;
  Kind kind;
};

// The room a text needs, drawn as the control draws it.
SIZE TextSize(const LOGFONTW& lf, const std::wstring& text, int wrapWidth) {
  HFONT font = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT rc{0, 0, wrapWidth, 0};
  DrawTextW(dc, text.c_str(), -1, &rc, DT_CALCRECT | DT_LEFT | (wrapWidth > 0 ? DT_WORDBREAK : 0));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

// Every label, check box, button and group of the wizard shows its whole
// text: measured with its own font against its own box, and the box lies
// inside its parent.
void ExpectWholeTexts(WizardDriver& d, bool chinese, int dpi) {
  const Measured controls[] = {
      {idLblWelcome, Kind::WrapLabel},    {idLblWillInstall, Kind::WrapLabel},
      {idLblLicense, Kind::Label},        {idLblLicenseTip, Kind::Label},
      {idLblAgreement, Kind::WrapLabel},  {idLblFolder, Kind::Label},
      {idLblFolderTip, Kind::Label},      {idLblSetupFolder, Kind::WrapLabel},
      {idGbFolder, Kind::Group},          {idBtnBrowse, Kind::Button},
      {idLblNeedSize, Kind::Label},       {idLblFreeSize, Kind::Label},
      {idChkSCOnDesktop, Kind::Check},    {idChkSCOnQuick, Kind::Check},
      {idLblComplete, Kind::WrapLabel},   {idLblClose, Kind::WrapLabel},
      {idChkRunOnExit, Kind::Check},      {idBtnPrev, Kind::Button},
      {idBtnNext, Kind::Button},          {idBtnClose, Kind::Button},
  };
  const int box = Scaled(13, dpi);  // a check box's square
  const int gap = Scaled(4, dpi);
  for (const Measured& m : controls) {
    HWND c = d.Control(m.id);
    ASSERT_NE(c, nullptr) << m.id;
    const std::wstring text = d.Text(m.id);
    if (text.empty())
      continue;
    RECT rc = d.ControlRect(m.id);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    const SIZE need =
        TextSize(WizardFont(m.id, chinese, dpi), text, m.kind == Kind::WrapLabel ? width : 0);
    int needWidth = need.cx, needHeight = need.cy;
    switch (m.kind) {
      case Kind::Check:
        needWidth += box + gap;
        break;
      case Kind::Button:
        needWidth += 2 * gap;
        needHeight += 2 * Scaled(2, dpi);
        break;
      case Kind::Group:
        needWidth += 2 * Scaled(8, dpi);
        break;
      default:
        break;
    }
    EXPECT_LE(needWidth, width) << "text of " << m.id << " is cut at " << dpi
                                << " DPI: " << Utf8(text);
    EXPECT_LE(needHeight, height) << "text of " << m.id << " is cut at " << dpi
                                  << " DPI: " << Utf8(text);
    // Nor does its parent cut the control (a page never shown has no size
    // yet).
    RECT parent{};
    GetClientRect(GetParent(c), &parent);
    if (IsWindowVisible(c)) {
      EXPECT_LE(rc.right, parent.right) << m.id << " at " << dpi << " DPI";
      EXPECT_LE(rc.bottom, parent.bottom) << m.id << " at " << dpi << " DPI";
    }
  }
}

void CheckAtDpi(const char* program, int dpi) {
  SCOPED_TRACE(std::string(program) + " at " + std::to_string(dpi) + " DPI");
  ScopedDpi setting(static_cast<DWORD>(dpi));
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram(program)));
  ASSERT_NE(d.Wizard(), nullptr);
  const bool chinese = std::string(program) == "Setup";
  const RECT rc = d.WindowRect();
  EXPECT_EQ(rc.right - rc.left, Scaled(503, dpi));
  EXPECT_EQ(rc.bottom - rc.top, Scaled(398, dpi));
  // The pages fill the band above the buttons, the banner its edge.
  EXPECT_EQ(d.ControlRect(idPnlStep1).bottom, Scaled(308, dpi));
  EXPECT_EQ(d.ControlRect(idImage1).right, Scaled(160, dpi));
  EXPECT_EQ(d.ControlRect(idBtnNext).left, Scaled(330, dpi));
  EXPECT_EQ(d.ControlRect(idBtnPrev).right, d.ControlRect(idBtnNext).left);
  ExpectWholeTexts(d, chinese, dpi);
  // The header bands get their size once their page shows.
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  EXPECT_EQ(d.ControlRect(idPanel4).bottom, Scaled(56, dpi));
  EXPECT_EQ(d.ControlRect(idImage3).right - d.ControlRect(idImage3).left, Scaled(67, dpi));
  ExpectWholeTexts(d, chinese, dpi);
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

}  // namespace

TEST(WizardLook, EveryTextIsWholeAt120And144Dpi) {
  for (int dpi : {120, 144}) {
    CheckAtDpi("Setup", dpi);
    CheckAtDpi("SetupEn", dpi);
  }
}

TEST(WizardLook, SizesStayAt96Dpi) {
  ScopedDpi setting(96);
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  const RECT rc = d.WindowRect();
  EXPECT_EQ(rc.right - rc.left, 503);
  EXPECT_EQ(rc.bottom - rc.top, 398);
  EXPECT_EQ(d.ControlRect(idChkSCOnDesktop).right, 237 + 151);
  ExpectWholeTexts(d, false, 96);
}

TEST(WizardLook, XpSizeAt144Dpi) {
  ScopedDpi setting(144);
  ScopedWindowsVersion xp(L"winxp64");
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  const RECT rc = d.WindowRect();
  EXPECT_EQ(rc.right - rc.left, Scaled(503, 144));
  EXPECT_EQ(rc.bottom - rc.top, Scaled(385, 144));
  // The Quick Launch box shows on XP, its text whole.
  ExpectWholeTexts(d, false, 144);
}

namespace {

// A colour of HKCU\Control Panel\Colors ("R G B"), put back when it goes.
class ScopedSysColor : public ScopedValue {
 public:
  ScopedSysColor(const wchar_t* name, const std::wstring& rgb)
      : ScopedValue(HKEY_CURRENT_USER, L"Control Panel\\Colors", name, REG_SZ, rgb.c_str(),
                    static_cast<DWORD>((rgb.size() + 1) * sizeof(wchar_t))) {}
};

// The colour on the screen at a point of a window's client area.
COLORREF PixelAt(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
}

}  // namespace

// The classic scheme's button face: the form, the pages without a colour of
// their own and the button row take it; the white pages and the cream bands
// keep theirs.
TEST(WizardLook, ButtonFaceIsTheSystemsColour) {
  ScopedSysColor face(L"ButtonFace", L"212 208 200");
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  Sleep(300);
  const COLORREF classic = RGB(212, 208, 200);
  // Left of the progress bar, in the button row.
  EXPECT_EQ(PixelAt(d.Wizard(), 10, 330), classic);
  // The welcome page is white.
  EXPECT_EQ(PixelAt(d.Control(idPnlStep1), 300, 290), RGB(255, 255, 255));
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  Sleep(300);
  // The folder page below its band, and the band.
  EXPECT_EQ(PixelAt(d.Control(idPnlStep3), 5, 200), classic);
  EXPECT_EQ(PixelAt(d.Control(idPanel4), 5, 50), RGB(0xFF, 0xFB, 0xF0));
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

TEST(WizardLook, CentredOnTheDesktop) {
  WizardDriver d;
  ASSERT_TRUE(d.Start(SetupProgram("Setup")));
  const RECT rc = d.WindowRect();
  EXPECT_EQ(rc.left, (GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2);
  EXPECT_EQ(rc.top, (GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2);
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}
