#include "ui/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <tuple>

#include <oleacc.h>

#include "ui/Accessible.h"
#include "win/Api.h"
#include "win/WideText.h"

namespace {

const wchar_t kClassName[] = L"NvControl";
const wchar_t kControlProp[] = L"NvControl";

void RegisterOwnClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window in WM_NCCREATE
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

bool IsSystemColor(uint32_t layoutColor) {
  return (layoutColor & kSystemColor) != 0 && layoutColor != kNoColor;
}

COLORREF SystemColor(uint32_t layoutColor) {
  return GetSysColor(static_cast<int>(layoutColor & 0xFF));
}

bool Given(uint32_t layoutColor) {
  return layoutColor != kNoColor;
}

// The caption without the "&" that marks its mnemonic ("&&" is one "&").
std::u16string WithoutMnemonic(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size())
      ++i;
    out += text[i];
  }
  return out;
}

struct HighContrastState {
  bool read = false;
  bool on = false;
};

HighContrastState& HighContrastNow() {
  static HighContrastState state;
  return state;
}

}  // namespace

void ReadHighContrastSetting() {
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof hc;
  const bool on = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) != FALSE &&
                  (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
  HighContrastNow() = {true, on};
}

bool HighContrast() {
  if (!HighContrastNow().read)
    ReadHighContrastSetting();
  return HighContrastNow().on;
}

void SetHighContrast(bool on) {
  HighContrastNow() = {true, on};
}

int ScreenDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int d = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return d > 0 ? d : 96;
  }();
  return dpi;
}

int ScaleToScreen(int pixels) {
  return ScaleToDpi(pixels, ScreenDpi());
}

HFONT FontHandle(const TFont& font) {
  using Key = std::tuple<std::u16string, int, int, bool>;
  static std::map<Key, HFONT> fonts;
  const Key key{font.name, font.points, font.pixels, font.bold};
  if (auto it = fonts.find(key); it != fonts.end())
    return it->second;
  LOGFONTW lf{};
  if (font.pixels > 0) {
    lf.lfHeight = -font.pixels;
  } else {
    lf.lfHeight = -MulDiv(font.points, ScreenDpi(), 72);
  }
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, W(font.name), LF_FACESIZE);
  HFONT handle = CreateFontIndirectW(&lf);
  fonts.emplace(key, handle);
  return handle;
}

HBRUSH BrushOf(COLORREF color) {
  static std::map<COLORREF, HBRUSH> brushes;
  if (auto it = brushes.find(color); it != brushes.end())
    return it->second;
  HBRUSH brush = CreateSolidBrush(color);
  brushes.emplace(color, brush);
  return brush;
}

// ---- TControl

TControl::TControl(TWinControl* parent, const TLayoutItem& item)
    : parent_(parent),
      id_(item.id),
      name_(item.name),
      left_(item.left),
      top_(item.top),
      width_(item.width),
      height_(item.height),
      align_(item.align),
      visible_(!item.hidden) {
  if (parent_ != nullptr)
    font_ = parent_->Font();
  if (!item.font.name.empty())
    font_.name = item.font.name;
  if (item.font.points > 0) {
    font_.points = item.font.points;
    font_.pixels = 0;
  }
  if (item.font.pixels > 0)
    font_.pixels = item.font.pixels;
  font_.bold = item.font.bold;
  if (Given(item.font.color))
    font_.color = item.font.color;
  color_ = item.color;
}

TControl::~TControl() {
  if (parent_ != nullptr)
    parent_->RemoveChild(this);
  if (hwnd_ != nullptr) {
    RemovePropW(hwnd_, kControlProp);
    if (oldProc_ != nullptr)
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    DestroyWindow(hwnd_);
  }
}

TControl* TControl::FromHandle(HWND hwnd) {
  return static_cast<TControl*>(GetPropW(hwnd, kControlProp));
}

HWND TControl::ParentHandle() const {
  return parent_ != nullptr ? parent_->Handle() : nullptr;
}

void TControl::CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle) {
  ownClass_ = className == nullptr;
  if (ownClass_) {
    RegisterOwnClass();
    className = kClassName;
  }
  if (parent_ != nullptr)
    style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (visible_ && parent_ != nullptr)
    style |= WS_VISIBLE;
  hwnd_ = CreateWindowExW(
      exStyle, className, L"", style, left_, top_, width_, height_, ParentHandle(),
      parent_ != nullptr ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)) : nullptr,
      GetModuleHandleW(nullptr), nullptr);
  SetPropW(hwnd_, kControlProp, this);
  if (ownClass_) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnClassProc));
  }
  ApplyFont();
  if (parent_ != nullptr)
    parent_->AddChild(this);
}

void TControl::Subclass() {
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

LRESULT CALLBACK TControl::OwnClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (TControl* c = FromHandle(hwnd))
    return c->WndProc(msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TControl* c = FromHandle(hwnd);
  if (c == nullptr)
    return DefWindowProcW(hwnd, msg, wp, lp);
  return c->WndProc(msg, wp, lp);
}

LRESULT TControl::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (oldProc_ != nullptr)
    return CallWindowProcW(oldProc_, hwnd_, msg, wp, lp);
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT TControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETOBJECT) {
    if (const LRESULT answer = AnswerGetObject(hwnd_, wp, lp))
      return answer;
  }
  return DefaultProc(msg, wp, lp);
}

bool TControl::Usable() const {
  return IsWindowVisible(hwnd_) != FALSE && IsWindowEnabled(hwnd_) != FALSE;
}

std::u16string TControl::AccessibleName() const {
  return accessibleName_.empty() ? OwnAccessibleName() : accessibleName_;
}

std::u16string TControl::OwnAccessibleName() const {
  return WithoutMnemonic(Caption());
}

long TControl::AccessibleRole() const {
  return ROLE_SYSTEM_CLIENT;
}

bool TControl::AccessibleValue(std::u16string& /*value*/) const {
  return false;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_)
    return;
  TWinControl* old = parent_;
  if (old != nullptr)
    old->RemoveChild(this);
  parent_ = parent;
  ::SetParent(hwnd_, ParentHandle());
  parent_->AddChild(this);
  if (old != nullptr)
    old->Realign();
  parent_->Realign();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_)
    return;
  visible_ = visible;
  ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  if (align_ != TAlign::None && parent_ != nullptr)
    parent_->Realign();
}

bool TControl::Enabled() const {
  return IsWindowEnabled(hwnd_) != FALSE;
}

void TControl::SetEnabled(bool enabled) {
  EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ != nullptr)
    MoveWindow(hwnd_, left, top, width, height, TRUE);
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_ != nullptr)
    parent_->Realign();
}

std::u16string TControl::Caption() const {
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd_, buf.data(), n + 1);
  return UpToNul(buf.c_str(), static_cast<size_t>(std::max(got, 0)));
}

void TControl::SetCaption(const std::u16string& text) {
  SetWindowTextW(hwnd_, W(text));
}

void TControl::SetFont(const TFont& font) {
  font_ = font;
  ApplyFont();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::ApplyFont() {
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(font_)), FALSE);
}

uint32_t TControl::BackgroundSpec() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (Given(c->color_))
      return c->color_;
  }
  return kSysBtnFace;
}

COLORREF TControl::Color() const {
  const uint32_t spec = BackgroundSpec();
  if (IsSystemColor(spec))
    return SystemColor(spec);
  return HighContrast() ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(spec);
}

COLORREF TControl::TextColor() const {
  const uint32_t spec = font_.color;
  if (IsSystemColor(spec))
    return SystemColor(spec);
  if (HighContrast())
    return GetSysColor(BackgroundSpec() == kSysBtnFace ? COLOR_BTNTEXT : COLOR_WINDOWTEXT);
  return Given(spec) ? static_cast<COLORREF>(spec) : RGB(0, 0, 0);
}

HBRUSH TControl::CtlColor(HDC dc) {
  const COLORREF back = Color();
  SetBkColor(dc, back);
  SetTextColor(dc, TextColor());
  return BrushOf(back);
}

// ---- TWinControl

void TWinControl::AddChild(TControl* child) {
  if (std::find(children_.begin(), children_.end(), child) == children_.end())
    children_.push_back(child);
}

void TWinControl::RemoveChild(TControl* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != width_ || height != height_;
  TControl::SetBounds(left, top, width, height);
  if (resized)
    Realign();
}

void TWinControl::Realign() {
  RECT room{0, 0, ClientWidth(), ClientHeight()};
  for (TAlign pass : {TAlign::Top, TAlign::Left, TAlign::Right}) {
    for (TControl* c : children_) {
      if (c->Align() != pass || !c->Visible())
        continue;
      switch (pass) {
        case TAlign::Top:
          c->SetBounds(room.left, room.top, room.right - room.left, c->Height());
          room.top += c->Height();
          break;
        case TAlign::Left:
          c->SetBounds(room.left, room.top, c->Width(), room.bottom - room.top);
          room.left += c->Width();
          break;
        case TAlign::Right:
          c->SetBounds(room.right - c->Width(), room.top, c->Width(), room.bottom - room.top);
          room.right -= c->Width();
          break;
        case TAlign::None:
          break;
      }
    }
  }
}

bool TWinControl::RouteChildMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
      if (lp != 0) {
        if (TControl* c = FromHandle(reinterpret_cast<HWND>(lp))) {
          c->Command(HIWORD(wp));
          result = 0;
          return true;
        }
      }
      return false;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (TControl* c = FromHandle(reinterpret_cast<HWND>(lp))) {
        result = reinterpret_cast<LRESULT>(c->CtlColor(reinterpret_cast<HDC>(wp)));
        return true;
      }
      return false;
    default:
      return false;
  }
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (RouteChildMessage(msg, wp, lp, result))
    return result;
  return TControl::WndProc(msg, wp, lp);
}

// ---- TPanel

TPanel::TPanel(TWinControl* parent, const TLayoutItem& item) : TWinControl(parent, item) {
  CreateHandle(nullptr, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
}

long TPanel::AccessibleRole() const {
  return ROLE_SYSTEM_PANE;
}

LRESULT TPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT rc;
    GetClientRect(hwnd_, &rc);
    FillRect(reinterpret_cast<HDC>(wp), &rc, BrushOf(Color()));
    return 1;
  }
  return TWinControl::WndProc(msg, wp, lp);
}

// ---- TGroupBox

TGroupBox::TGroupBox(TWinControl* parent, const TLayoutItem& item) : TWinControl(parent, item) {
  CreateHandle(L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
  SetCaption(item.text);
  Subclass();
}

long TGroupBox::AccessibleRole() const {
  return ROLE_SYSTEM_GROUPING;
}

// ---- TGraphicControl

TGraphicControl::TGraphicControl(TWinControl* parent, const TLayoutItem& item)
    : TControl(parent, item) {}

LRESULT TGraphicControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(FontHandle(font_));
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RECT rc;
      GetClientRect(hwnd_, &rc);
      FillRect(dc, &rc, BrushOf(Color()));
      Paint(dc, rc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    default:
      return TControl::WndProc(msg, wp, lp);
  }
}

// ---- TLabel

TLabel::TLabel(TWinControl* parent, const TLayoutItem& item)
    : TGraphicControl(parent, item), wrap_(item.wrap), fixed_(item.fixed), vcenter_(item.vcenter) {
  CreateHandle(nullptr, 0);
  SetCaption(item.text);
}

void TLabel::SetCaption(const std::u16string& text) {
  TControl::SetCaption(text);
  AutoSize();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TLabel::SetFont(const TFont& font) {
  TControl::SetFont(font);
  AutoSize();
}

long TLabel::AccessibleRole() const {
  return ROLE_SYSTEM_STATICTEXT;
}

void TLabel::AutoSize() {
  if (fixed_)
    return;
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, FontHandle(font_));
  const std::u16string text = Caption();
  RECT rc{0, 0, wrap_ ? width_ : 0, 0};
  DrawTextW(dc, text.empty() ? L" " : W(text), -1, &rc,
            DT_CALCRECT | DT_LEFT | (wrap_ ? DT_WORDBREAK : 0));
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  SetBounds(left_, top_, text.empty() ? 0 : rc.right, rc.bottom);
}

void TLabel::Paint(HDC dc, RECT rc) {
  HGDIOBJ old = SelectObject(dc, FontHandle(font_));
  SetTextColor(dc, TextColor());
  SetBkMode(dc, TRANSPARENT);
  const std::u16string text = Caption();
  UINT flags = DT_LEFT | (wrap_ ? DT_WORDBREAK : 0);
  if (vcenter_) {
    RECT need = rc;
    DrawTextW(dc, W(text), -1, &need, flags | DT_CALCRECT);
    const int h = need.bottom - need.top;
    if (h < rc.bottom)
      rc.top = (rc.bottom - h) / 2;
  }
  DrawTextW(dc, W(text), -1, &rc, flags);
  SelectObject(dc, old);
}

// ---- TButton

TButton::TButton(TWinControl* parent, const TLayoutItem& item) : TControl(parent, item) {
  CreateHandle(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP);
  SetCaption(item.text);
  Subclass();
}

void TButton::Command(WORD code) {
  if (code == BN_CLICKED)
    Click();
}

void TButton::Click() {
  if (OnClick)
    OnClick();
}

void TButton::SetDefault(bool isDefault) {
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  const LONG_PTR type = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((style & BS_TYPEMASK) != type)
    SendMessageW(hwnd_, BM_SETSTYLE, static_cast<WPARAM>(type), TRUE);
}

long TButton::AccessibleRole() const {
  return ROLE_SYSTEM_PUSHBUTTON;
}

// ---- TCheckBox

TCheckBox::TCheckBox(TWinControl* parent, const TLayoutItem& item) : TControl(parent, item) {
  CreateHandle(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
  SetCaption(item.text);
  SetChecked(item.checked);
  Subclass();
}

long TCheckBox::AccessibleRole() const {
  return ROLE_SYSTEM_CHECKBUTTON;
}

bool TCheckBox::Checked() const {
  return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
  SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- TEdit

TEdit::TEdit(TWinControl* parent, const TLayoutItem& item) : TControl(parent, item) {
  CreateHandle(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
  SetCaption(item.text);
  Subclass();
}

long TEdit::AccessibleRole() const {
  return ROLE_SYSTEM_TEXT;
}

bool TEdit::AccessibleValue(std::u16string& value) const {
  value = Text();
  return true;
}

std::u16string TEdit::OwnAccessibleName() const {
  if (const auto* group = dynamic_cast<const TGroupBox*>(parent_))
    return group->AccessibleName();
  return {};
}

void TEdit::SetText(const std::u16string& text) {
  if (Text() != text)
    SetCaption(text);
}

void TEdit::Command(WORD code) {
  if (code == EN_CHANGE && OnChange)
    OnChange();
}

HBRUSH TEdit::CtlColor(HDC dc) {
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  SetTextColor(dc, HighContrast() ? GetSysColor(COLOR_WINDOWTEXT) : TextColor());
  return GetSysColorBrush(COLOR_WINDOW);
}

// ---- TMemo

TMemo::TMemo(TWinControl* parent, const TLayoutItem& item) : TControl(parent, item) {
  DWORD style = ES_MULTILINE | WS_TABSTOP;
  if (item.readonly)
    style |= ES_READONLY;
  if (item.vscroll)
    style |= WS_VSCROLL;
  if (!item.wrap)
    style |= ES_AUTOHSCROLL | WS_HSCROLL;
  CreateHandle(L"EDIT", style, WS_EX_CLIENTEDGE);
  Subclass();
}

LRESULT TMemo::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETDLGCODE) {
    // A multi-line edit box asks for every key; this one leaves Tab, Enter
    // and Escape to the form, keeping the arrows and the characters.
    return DefaultProc(msg, wp, lp) & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
  }
  return TControl::WndProc(msg, wp, lp);
}

long TMemo::AccessibleRole() const {
  return ROLE_SYSTEM_TEXT;
}

void TMemo::SetLines(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0)
      text += u"\r\n";
    text += lines[i];
  }
  SetCaption(text);
}

HBRUSH TMemo::CtlColor(HDC dc) {
  // A read-only edit asks as a static would; a memo stays white.
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  SetTextColor(dc, HighContrast() ? GetSysColor(COLOR_WINDOWTEXT) : TextColor());
  return GetSysColorBrush(COLOR_WINDOW);
}

// ---- TProgressBar

TProgressBar::TProgressBar(TWinControl* parent, const TLayoutItem& item) : TControl(parent, item) {
  CreateHandle(PROGRESS_CLASSW, 0);
  SendMessageW(hwnd_, PBM_SETRANGE32, 0, 100);
  Subclass();
}

long TProgressBar::AccessibleRole() const {
  return ROLE_SYSTEM_PROGRESSBAR;
}

bool TProgressBar::AccessibleValue(std::u16string& value) const {
  const auto text = std::to_wstring(Position()) + L"%";
  value.assign(text.begin(), text.end());
  return true;
}

int TProgressBar::Position() const {
  return static_cast<int>(SendMessageW(hwnd_, PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int position) {
  SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// ---- TImage

TImage::TImage(TWinControl* parent, const TLayoutItem& item)
    : TGraphicControl(parent, item), center_(item.center), transparent_(item.transparent) {
  CreateHandle(nullptr, 0);
}

long TImage::AccessibleRole() const {
  return ROLE_SYSTEM_GRAPHIC;
}

TImage::~TImage() {
  if (bitmap_ != nullptr)
    DeleteObject(bitmap_);
}

void TImage::SetPicture(HBITMAP bitmap) {
  if (bitmap_ != nullptr)
    DeleteObject(bitmap_);
  bitmap_ = bitmap;
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TImage::Paint(HDC dc, RECT rc) {
  BITMAP bm{};
  if (bitmap_ == nullptr || GetObjectW(bitmap_, sizeof bm, &bm) == 0)
    return;
  const int w = ScaleToScreen(bm.bmWidth), h = ScaleToScreen(bm.bmHeight);
  int x = 0, y = 0;
  if (center_) {
    x = (rc.right - w) / 2;
    y = (rc.bottom - h) / 2;
  }
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bitmap_);
  // The picture on this control's background: the transparent colour is
  // replaced first, so that scaling blends its edges into the background.
  HDC composed = mem;
  HBITMAP composedBitmap = nullptr;
  HGDIOBJ composedOld = nullptr;
  if (transparent_) {
    const COLORREF key = GetPixel(mem, 0, bm.bmHeight - 1);
    static const auto transparentBlt = win::Api<win::Fn::TransparentBlt>();
    composed = CreateCompatibleDC(dc);
    composedBitmap = CreateCompatibleBitmap(dc, bm.bmWidth, bm.bmHeight);
    composedOld = SelectObject(composed, composedBitmap);
    RECT all{0, 0, bm.bmWidth, bm.bmHeight};
    FillRect(composed, &all, BrushOf(Color()));
    if (transparentBlt != nullptr) {
      transparentBlt(composed, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, bm.bmWidth, bm.bmHeight,
                     key);
    } else {
      BitBlt(composed, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    }
  }
  if (w == bm.bmWidth && h == bm.bmHeight) {
    BitBlt(dc, x, y, w, h, composed, 0, 0, SRCCOPY);
  } else {
    const int oldMode = SetStretchBltMode(dc, HALFTONE);
    POINT oldOrigin{};
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    StretchBlt(dc, x, y, w, h, composed, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    SetStretchBltMode(dc, oldMode);
  }
  if (composedBitmap != nullptr) {
    SelectObject(composed, composedOld);
    DeleteObject(composedBitmap);
    DeleteDC(composed);
  }
  SelectObject(mem, old);
  DeleteDC(mem);
}

// ---- TBevel

TBevel::TBevel(TWinControl* parent, const TLayoutItem& item) : TGraphicControl(parent, item) {
  CreateHandle(nullptr, 0);
}

long TBevel::AccessibleRole() const {
  return ROLE_SYSTEM_SEPARATOR;
}

void TBevel::Paint(HDC dc, RECT rc) {
  RECT line{0, 0, rc.right, 1};
  FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
  line = {0, 1, rc.right, 2};
  FillRect(dc, &line, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
}
