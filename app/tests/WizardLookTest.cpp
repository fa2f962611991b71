// How the wizard looks on other screens and schemes: its size and its texts
// at 120 and 144 DPI in both languages (every text measured against its
// control with the control's own font), the system's colours, the icons and
// the window's place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/tests/SetupPrograms.h"
#include "testsupport/Wait.h"

namespace {

// Whether the window and every window in it have nothing left to paint.
bool NothingToPaint(HWND w) {
  if (GetUpdateRect(w, nullptr, FALSE))
    return false;
  for (HWND c = GetWindow(w, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!NothingToPaint(c))
      return false;
  }
  return true;
}

// Waits until the program has painted the window and gone idle, which is
// when Wine puts what it painted on the screen: then the screen can be read.
testing::AssertionResult Painted(WizardDriver& d, HWND w) {
  if (testsupport::WaitFor([&] { return d.Settle() && NothingToPaint(w); }))
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the window is still to be painted";
}

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
      {idLblWelcome, Kind::WrapLabel},   {idLblWillInstall, Kind::WrapLabel},
      {idLblLicense, Kind::Label},       {idLblLicenseTip, Kind::Label},
      {idLblAgreement, Kind::WrapLabel}, {idLblFolder, Kind::Label},
      {idLblFolderTip, Kind::Label},     {idLblSetupFolder, Kind::WrapLabel},
      {idGbFolder, Kind::Group},         {idBtnBrowse, Kind::Button},
      {idLblNeedSize, Kind::Label},      {idLblFreeSize, Kind::Label},
      {idChkSCOnDesktop, Kind::Check},   {idChkSCOnQuick, Kind::Check},
      {idLblComplete, Kind::WrapLabel},  {idLblClose, Kind::WrapLabel},
      {idChkRunOnExit, Kind::Check},     {idBtnPrev, Kind::Button},
      {idBtnNext, Kind::Button},         {idBtnClose, Kind::Button},
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

// The colour on the screen at a point of a window's client area.
COLORREF ScreenPixel(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
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
  // The banner's picture fills its scaled box, to its far corner (the page
  // around it is white).
  SetForegroundWindow(d.Wizard());
  ASSERT_TRUE(Painted(d, d.Wizard()));
  const RECT banner = d.ControlRect(idImage1);
  EXPECT_NE(ScreenPixel(d.Control(idImage1), banner.right - banner.left - 2,
                        banner.bottom - banner.top - 2),
            RGB(255, 255, 255));
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
  ASSERT_TRUE(Painted(d, d.Wizard()));
  const COLORREF classic = RGB(212, 208, 200);
  // Left of the progress bar, in the button row.
  EXPECT_EQ(PixelAt(d.Wizard(), 10, 330), classic);
  // The welcome page is white.
  EXPECT_EQ(PixelAt(d.Control(idPnlStep1), 300, 290), RGB(255, 255, 255));
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  ASSERT_TRUE(Painted(d, d.Wizard()));
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

namespace {

// 32-bit pixels of a w x h picture, top-down.
struct Picture {
  int w = 0, h = 0;
  std::vector<DWORD> pixels;
};

Picture Grab(HDC source, int x, int y, int w, int h,
             const std::function<void(HDC)>& draw = nullptr) {
  Picture p;
  p.w = w;
  p.h = h;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  if (draw)
    draw(mem);
  else
    BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
  GdiFlush();
  const auto* px = static_cast<const DWORD*>(bits);
  p.pixels.assign(px, px + static_cast<size_t>(w) * static_cast<size_t>(h));
  for (DWORD& v : p.pixels)
    v &= 0x00FFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

// The label as the screen shows it.
Picture OnScreen(HWND label) {
  RECT rc{};
  GetWindowRect(label, &rc);
  HDC screen = GetDC(nullptr);
  Picture p = Grab(screen, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  ReleaseDC(nullptr, screen);
  return p;
}

struct LabelLook {
  LOGFONTW font;
  COLORREF back, fore;
  bool wrap, vcenter;
};

// The label's text drawn here as a label draws it, with the font given.
Picture DrawnHere(HWND label, const std::wstring& text, const LabelLook& look) {
  RECT rc{};
  GetClientRect(label, &rc);
  return Grab(nullptr, 0, 0, rc.right, rc.bottom, [&](HDC dc) {
    HBRUSH brush = CreateSolidBrush(look.back);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    HFONT font = CreateFontIndirectW(&look.font);
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, look.fore);
    SetBkMode(dc, TRANSPARENT);
    const UINT flags = DT_LEFT | (look.wrap ? DT_WORDBREAK : 0);
    RECT box = rc;
    if (look.vcenter) {
      RECT need = rc;
      DrawTextW(dc, text.c_str(), -1, &need, flags | DT_CALCRECT);
      if (need.bottom - need.top < rc.bottom)
        box.top = (rc.bottom - (need.bottom - need.top)) / 2;
    }
    DrawTextW(dc, text.c_str(), -1, &box, flags);
    SelectObject(dc, old);
    DeleteObject(font);
  });
}

LOGFONTW Font(const wchar_t* face, int height, bool bold = false) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  return lf;
}

std::wstring TextOfWindow(HWND w) {
  wchar_t buf[2048] = {};
  SendMessageW(w, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buf));
  return buf;
}

// The columns of a label that its parent does not cut off.
int VisibleWidth(HWND label) {
  RECT rc{}, parent{};
  GetWindowRect(label, &rc);
  GetClientRect(GetParent(label), &parent);
  MapWindowPoints(GetParent(label), nullptr, reinterpret_cast<POINT*>(&parent), 2);
  return std::min(rc.right, parent.right) - rc.left;
}

bool Same(const Picture& a, const Picture& b, int width) {
  if (a.w != b.w || a.h != b.h)
    return false;
  for (int y = 0; y < a.h; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(a.w) + static_cast<size_t>(x);
      if (a.pixels[i] != b.pixels[i])
        return false;
    }
  }
  return true;
}

// The label on the screen is its text in this font, pixel for pixel; and,
// when another font is given, not in that one (which shows that the two can
// be told apart).
void ExpectDrawnIn(HWND label, const LabelLook& look, const LOGFONTW* other = nullptr) {
  const std::wstring text = TextOfWindow(label);
  const Picture screen = OnScreen(label);
  const int width = VisibleWidth(label);
  ASSERT_FALSE(screen.pixels.empty());
  EXPECT_TRUE(Same(screen, DrawnHere(label, text, look), width))
      << GetDlgCtrlID(label) << " is not drawn in " << Utf8(look.font.lfFaceName) << " "
      << look.font.lfHeight;
  if (other != nullptr) {
    LabelLook otherLook = look;
    otherLook.font = *other;
    EXPECT_FALSE(Same(screen, DrawnHere(label, text, otherLook), width)) << GetDlgCtrlID(label);
  }
}

}  // namespace

// The Chinese run draws its welcome texts and the folder text in 宋体, the
// long ones at 9 points; the English run keeps Tahoma. Each label is
// compared pixel for pixel with its text drawn here in the font it should
// have.
TEST(WizardLook, FontsOfBothRuns) {
  ScopedDpi setting(96);
  const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  {
    WizardDriver d;
    ASSERT_TRUE(d.Start(SetupProgram("Setup")));
    SetForegroundWindow(d.Wizard());
    ASSERT_TRUE(Painted(d, d.Wizard()));
    // This Wine draws 宋体 and Tahoma alike for this text; its weight and
    // size still show.
    const LOGFONTW regular = Font(L"宋体", -16), smaller = Font(L"宋体", -11);
    ExpectDrawnIn(d.Control(idLblWelcome), {Font(L"宋体", -16, true), white, black, true, false},
                  &regular);
    ExpectDrawnIn(d.Control(idLblWillInstall), {Font(L"宋体", -12), white, black, true, false},
                  &smaller);
    d.Click(idBtnNext);
    d.Click(idBtnNext);
    ASSERT_TRUE(Painted(d, d.Wizard()));
    const LOGFONTW tahoma = Font(L"Tahoma", -11);
    ExpectDrawnIn(d.Control(idLblSetupFolder), {Font(L"宋体", -12), face, black, true, false},
                  &tahoma);
    d.CloseWindow();
    EXPECT_TRUE(d.WaitExit());
  }
  {
    WizardDriver d;
    ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
    SetForegroundWindow(d.Wizard());
    ASSERT_TRUE(Painted(d, d.Wizard()));
    const LOGFONTW song = Font(L"宋体", -12);
    ExpectDrawnIn(d.Control(idLblWillInstall), {Font(L"Tahoma", -11), white, black, true, false},
                  &song);
    d.CloseWindow();
    EXPECT_TRUE(d.WaitExit());
  }
}

// The conflict notice, shown here although the program never shows it:
// from Vista on its labels and buttons use 微软雅黑 at 10 points but the
// address keeps Tahoma; on XP everything keeps Tahoma. (This Wine draws the
// notice's Chinese labels in one fallback font whatever the face, so the
// labels are compared with their font but cannot tell the faces apart; the
// buttons' 11 and 13 pixels can be told apart.)
TEST(WizardLook, NoticeFontsByWindowsVersion) {
  ScopedDpi setting(96);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF navy = RGB(0, 0, 128), green = RGB(0, 128, 0);
  std::vector<Picture> buttons, addresses;
  for (const wchar_t* version : {L"", L"winxp64"}) {
    const bool xp = *version != L'\0';
    ScopedWindowsVersion system(version);
    WizardDriver d;
    ASSERT_TRUE(d.Start(SetupProgram("Setup")));
    HWND notice = d.TopLevel(L"温馨提示 - 诺凡画图");
    ASSERT_NE(notice, nullptr);
    ShowWindow(notice, SW_SHOWNORMAL);
    SetForegroundWindow(notice);
    ASSERT_TRUE(Painted(d, notice));
    const LOGFONTW labels = xp ? Font(L"Tahoma", -13) : Font(L"微软雅黑", -13);
    for (int id : {idLabel1, idLblRegister, idLblContent}) {
      const COLORREF fore = id == idLblRegister ? green : navy;
      ExpectDrawnIn(d.Control(id, notice), {labels, face, fore, id == idLblContent, true});
    }
    ExpectDrawnIn(d.Control(idLabel2, notice), {Font(L"Tahoma", -14), face, green, false, true});
    buttons.push_back(OnScreen(d.Control(idButton1, notice)));
    addresses.push_back(OnScreen(d.Control(idLabel2, notice)));
    ShowWindow(notice, SW_HIDE);
    d.CloseWindow();
    EXPECT_TRUE(d.WaitExit());
  }
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_FALSE(buttons[0].pixels == buttons[1].pixels) << "the buttons' font is the same on XP";
  EXPECT_TRUE(addresses[0].pixels == addresses[1].pixels);
}
