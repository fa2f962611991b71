#include "ui/Forms.h"

#include <commctrl.h>
#include <jpeglib.h>
#include <objbase.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "win/Api.h"
#include "win/MessageBox.h"
#include "win/Version.h"
#include "win/WideText.h"

TApplication* Application = nullptr;

namespace {

UINT IdleCountMessage() {
  static const UINT msg = RegisterWindowMessageW(kIdleCountMessage);
  return msg;
}

// Children that name a tab order take that place among their siblings; the
// rest fill the other places in the order they were made.
void ApplyTabOrder(const TWinControl& parent, const std::vector<TLayoutItem>& items,
                   const std::map<std::string, TControl*>& byName) {
  std::vector<TControl*> kids = parent.Children();
  const size_t n = kids.size();
  if (n < 2)
    return;
  std::vector<TControl*> order(n, nullptr);
  std::vector<TControl*> rest;
  for (TControl* c : kids) {
    int tab = -1;
    for (const TLayoutItem& item : items) {
      if (item.name == c->Name()) {
        tab = item.tab;
        break;
      }
    }
    size_t at = tab < 0 ? n : std::min(static_cast<size_t>(tab), n - 1);
    while (at < n && order[at] != nullptr)
      ++at;
    if (at < n)
      order[at] = c;
    else
      rest.push_back(c);
  }
  size_t r = 0;
  for (TControl*& slot : order) {
    if (slot == nullptr)
      slot = rest[r++];
  }
  HWND after = HWND_TOP;
  for (TControl* c : order) {
    SetWindowPos(c->Handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = c->Handle();
  }
  (void)byName;
}

void RealignAll(TWinControl& c) {
  c.Realign();
  for (TControl* child : c.Children()) {
    if (auto* w = dynamic_cast<TWinControl*>(child))
      RealignAll(*w);
  }
}

}  // namespace

// ---- TForm

TForm::TForm(std::string_view layout) : TForm(ScaleLayout(ParseLayout(layout), ScreenDpi())) {}

TForm::TForm(const std::vector<TLayoutItem>& items) : TWinControl(nullptr, items.front()) {
  const TLayoutItem& me = items.front();
  clientSized_ = me.client;
  visible_ = false;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (me.minimize)
    style |= WS_MINIMIZEBOX;
  CreateHandle(nullptr, style, WS_EX_CONTROLPARENT);
  SetCaption(me.text);
  if (Application != nullptr && Application->Icon() != nullptr) {
    HICON smallIcon =
        Application->SmallIcon() != nullptr ? Application->SmallIcon() : Application->Icon();
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->Icon()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  }
  SetSize(me.width, me.height);
  byName_[me.name] = this;

  for (size_t i = 1; i < items.size(); ++i) {
    const TLayoutItem& item = items[i];
    auto* parent = dynamic_cast<TWinControl*>(byName_.at(item.parent));
    if (parent == nullptr)
      throw Error(u"layout: " + FromUtf8(item.parent) + u" cannot hold " + FromUtf8(item.name));
    std::unique_ptr<TControl> c;
    if (item.kind == "panel")
      c = std::make_unique<TPanel>(parent, item);
    else if (item.kind == "group")
      c = std::make_unique<TGroupBox>(parent, item);
    else if (item.kind == "label")
      c = std::make_unique<TLabel>(parent, item);
    else if (item.kind == "button")
      c = std::make_unique<TButton>(parent, item);
    else if (item.kind == "check")
      c = std::make_unique<TCheckBox>(parent, item);
    else if (item.kind == "edit")
      c = std::make_unique<TEdit>(parent, item);
    else if (item.kind == "memo")
      c = std::make_unique<TMemo>(parent, item);
    else if (item.kind == "progress")
      c = std::make_unique<TProgressBar>(parent, item);
    else if (item.kind == "image")
      c = std::make_unique<TImage>(parent, item);
    else if (item.kind == "bevel")
      c = std::make_unique<TBevel>(parent, item);
    else
      throw Error(u"layout: a form cannot hold a " + FromUtf8(item.kind));
    byName_[item.name] = c.get();
    owned_.push_back(std::move(c));
  }
  ApplyTabOrder(*this, items, byName_);
  for (const auto& c : owned_) {
    if (auto* w = dynamic_cast<TWinControl*>(c.get()))
      ApplyTabOrder(*w, items, byName_);
  }
  RealignAll(*this);
}

TForm::~TForm() {
  // Children go before their parents.
  while (!owned_.empty())
    owned_.pop_back();
}

void TForm::MissingControl(const std::string& name) {
  throw Error(u"the form has no control " + FromUtf8(name));
}

TControl* TForm::Find(const std::string& name) const {
  const auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

int TForm::ClientWidth() const {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  return rc.right;
}

int TForm::ClientHeight() const {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  return rc.bottom;
}

void TForm::SetSize(int width, int height) {
  if (clientSized_) {
    RECT rc{0, 0, width, height};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    width = rc.right - rc.left;
    height = rc.bottom - rc.top;
  }
  width_ = width;
  height_ = height;
  SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Center();
  Realign();
}

void TForm::Center() {
  // On the desktop as a whole, not on the room the taskbar leaves.
  left_ = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
  top_ = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
  SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
  visible_ = true;
  ShowWindow(hwnd_, SW_SHOW);
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE))
    SetFocus(first);
  UpdateWindow(hwnd_);
}

void TForm::Close() {
  visible_ = false;
  ShowWindow(hwnd_, SW_HIDE);
  if (Application != nullptr && Application->MainForm() == this)
    Application->Terminate();
}

LRESULT TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == IdleCountMessage())
    return Application != nullptr ? static_cast<LRESULT>(Application->IdleCount()) : 0;
  switch (msg) {
    case WM_CLOSE:
      if (OnClose)
        OnClose();
      else
        Close();
      return 0;
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd_, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, BrushOf(Color()));
      return 1;
    }
    case WM_ACTIVATE:
      // Back to the control that had the focus, not to the window itself.
      if (LOWORD(wp) != WA_INACTIVE && lastFocus_ != nullptr && IsChild(hwnd_, lastFocus_) &&
          IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      return TWinControl::WndProc(msg, wp, lp);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      // High contrast turned on or off, or other system colours.
      if (msg == WM_SETTINGCHANGE && wp == SPI_SETHIGHCONTRAST)
        ReadHighContrastSetting();
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return TWinControl::WndProc(msg, wp, lp);
    default:
      return TWinControl::WndProc(msg, wp, lp);
  }
}

// ---- TApplication

TApplication::TApplication() {
  comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  // The progress bar's window class.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  if (const auto init = win::Api<win::Fn::InitCommonControlsEx>())
    init(&icc);
  Application = this;
  // The title until a form sets one: the program's name.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string name = ExtractFileName(U(path));
  if (const size_t dot = name.rfind(u'.'); dot != std::u16string::npos)
    name.resize(dot);
  SetApplicationTitle(name);
}

TApplication::~TApplication() {
  // Later forms first: the main form goes last, as it came first.
  while (!forms_.empty())
    forms_.pop_back();
  if (comInitialised_)
    CoUninitialize();
  if (Application == this)
    Application = nullptr;
}

void TApplication::SetIcon(HICON icon, HICON smallIcon) {
  icon_ = icon;
  smallIcon_ = smallIcon;
}

void TApplication::Terminate() {
  if (!terminated_) {
    terminated_ = true;
    PostQuitMessage(0);
  }
}

bool TApplication::HandleMessage(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return false;
  }
  HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (auto* form = root != nullptr ? dynamic_cast<TForm*>(TControl::FromHandle(root)) : nullptr) {
    if (form->HandleKey(msg) || IsDialogMessageW(root, &msg))
      return true;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

void TApplication::Run() {
  while (!terminated_) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      HandleMessage(msg);
      continue;
    }
    ++idleCount_;
    if (OnIdle) {
      try {
        OnIdle();
      } catch (const std::exception& e) {
        ShowException(e);
      }
    }
    for (const auto& form : forms_) {
      if (form->Visible())
        form->KeyboardIdle();
    }
    if (!terminated_)
      WaitMessage();
  }
  // The loop is over: the quit message that ended it is not left behind.
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    HandleMessage(msg);
  }
}

void TApplication::ShowException(const std::exception& e) {
  ShowMessageBox(GetActiveWindow(), MessageOf(e), u"", MB_OK | MB_ICONERROR);
}

// ---- Dialogs and the clipboard

void ShowMessage(const std::u16string& text) {
  ShowMessageBox(GetActiveWindow(), text, u"", MB_OK);
}

bool AskWarning(const std::u16string& text) {
  return ShowMessageBox(GetActiveWindow(), text, u"", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
         IDYES;
}

bool SetClipboardText(HWND owner, const std::u16string& text) {
  if (!OpenClipboard(owner))
    return false;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(char16_t);
  bool done = false;
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(mem)) {
      std::memcpy(p, text.c_str(), bytes);
      GlobalUnlock(mem);
      done = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
    }
    if (!done)
      GlobalFree(mem);
  }
  CloseClipboard();
  return done;
}

// ---- Resources and pictures

std::string_view ResourceData(const wchar_t* type, const std::u16string& name) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(module, W(name), type);
  HGLOBAL data = res != nullptr ? LoadResource(module, res) : nullptr;
  const void* bytes = data != nullptr ? LockResource(data) : nullptr;
  if (bytes == nullptr)
    throw Error(u"Resource " + name + u" not found");
  return {static_cast<const char*>(bytes), SizeofResource(module, res)};
}

std::u16string ResourceString(UINT id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr)
    return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(n));
}

HBITMAP LoadBitmapResource(const std::u16string& name) {
  auto bitmap = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), W(name), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (bitmap == nullptr)
    throw Error(u"Resource " + name + u" not found");
  return bitmap;
}

namespace {

struct JpegFailure {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  (*info->err->format_message)(info, failure->message);
  longjmp(failure->jump, 1);
}

struct DecodedJpeg {
  int width = 0, height = 0;
  BYTE* bits = nullptr;  // a top-down 24-bit DIB section's rows
  HBITMAP bitmap = nullptr;
};

// Kept free of objects with destructors: libjpeg reports errors by longjmp.
bool DecodeInto(const unsigned char* data, unsigned long size, DecodedJpeg* out,
                JpegFailure* failure) {
  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&failure->mgr);
  failure->mgr.error_exit = OnJpegError;
  if (setjmp(failure->jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_width == 0 || info.output_height == 0 || info.output_width > 8192 ||
      info.output_height > 8192 || info.output_components != 3) {
    std::strcpy(failure->message, "unsupported picture size or colours");
    jpeg_destroy_decompress(&info);
    return false;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = static_cast<LONG>(info.output_width);
  bi.bmiHeader.biHeight = -static_cast<LONG>(info.output_height);
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  out->bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (out->bitmap == nullptr) {
    std::strcpy(failure->message, "no memory for the picture");
    jpeg_destroy_decompress(&info);
    return false;
  }
  out->bits = static_cast<BYTE*>(bits);
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  const size_t stride = (static_cast<size_t>(out->width) * 3 + 3) & ~size_t{3};
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->bits + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
    for (int x = 0; x < out->width; ++x)
      std::swap(row[x * 3], row[x * 3 + 2]);  // RGB to the DIB's BGR
  }
  jpeg_finish_decompress(&info);
  // Corrupt or missing data is only a warning to libjpeg, which fills the
  // rest with grey; a picture that is not whole is refused.
  if (failure->mgr.num_warnings > 0) {
    (*info.err->format_message)(reinterpret_cast<j_common_ptr>(&info), failure->message);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

HBITMAP DecodeJpeg(std::string_view jpeg) {
  DecodedJpeg out;
  JpegFailure failure{};
  if (!DecodeInto(reinterpret_cast<const unsigned char*>(jpeg.data()),
                  static_cast<unsigned long>(jpeg.size()), &out, &failure)) {
    if (out.bitmap != nullptr)
      DeleteObject(out.bitmap);
    throw Error(u"JPEG error: " + FromUtf8(failure.message));
  }
  return out.bitmap;
}

DWORD WindowsMajorVersion() {
  return win::SystemVersion().major;
}
