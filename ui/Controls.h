// A thin control layer on plain Win32: one small class per control, each
// owning its window. Containers (forms, panels, group boxes) place the
// children that are aligned to an edge and route the notifications of their
// children back to the child's object.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Layout.h"

class TWinControl;

// A font as the layout describes it; the colour is the text colour.
struct TFont {
  std::u16string name = u"Tahoma";
  int points = 8;  // used when pixels is 0
  int pixels = 0;  // character height in pixels
  bool bold = false;
  COLORREF color = RGB(0, 0, 0);
  bool operator==(const TFont&) const = default;
};

// The system's DPI (pixels per logical inch of the screen), read once.
int ScreenDpi();
// A length at 96 DPI in pixels at the system's DPI.
int ScaleToScreen(int pixels);

// The shared GDI handle of a font or a solid brush; both live until exit.
HFONT FontHandle(const TFont& font);
HBRUSH BrushOf(COLORREF color);

using TNotifyEvent = std::function<void()>;

class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  HWND Handle() const { return hwnd_; }
  int Id() const { return id_; }
  const std::string& Name() const { return name_; }
  TWinControl* Parent() const { return parent_; }
  // Moves the control into another container; both containers realign.
  void SetParent(TWinControl* parent);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  virtual void SetBounds(int left, int top, int width, int height);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  std::u16string Caption() const;
  virtual void SetCaption(const std::u16string& text);

  const TFont& Font() const { return font_; }
  virtual void SetFont(const TFont& font);
  // The background: the control's own colour, else its parent's.
  COLORREF Color() const;
  void SetColor(COLORREF color) { color_ = color; }

  // Notifications a container hands back to the child that sent them.
  virtual void Command(WORD /*code*/) {}
  // WM_CTLCOLOR*: the brush of the background; the default paints the
  // parent's colour behind the text.
  virtual HBRUSH CtlColor(HDC dc);

  // The control of a window made by this layer, or nullptr.
  static TControl* FromHandle(HWND hwnd);

 protected:
  TControl(TWinControl* parent, const TLayoutItem& item);
  // Makes the window; every control calls it once from its constructor.
  void CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle = 0);
  // The window procedure of this layer's own classes.
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
  // The parent's window, or nullptr for a form.
  HWND ParentHandle() const;
  void ApplyFont();
  static LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // Forwards a standard control's notifications and colour requests to its
  // container, as if it were one.
  void Subclass();

  HWND hwnd_ = nullptr;
  WNDPROC oldProc_ = nullptr;
  TWinControl* parent_ = nullptr;
  int id_ = 0;
  std::string name_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = TAlign::None;
  bool visible_ = true;
  TFont font_;
  COLORREF color_ = CLR_INVALID;
  bool ownClass_ = false;
};

// A control that holds other controls.
class TWinControl : public TControl {
 public:
  // Places the children aligned to an edge, in their order: tops first, then
  // lefts and rights in the room that is left. Hidden children take no room.
  void Realign();
  // A new size places the aligned children again.
  void SetBounds(int left, int top, int width, int height) override;
  const std::vector<TControl*>& Children() const { return children_; }
  void AddChild(TControl* child);
  void RemoveChild(TControl* child);
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }

 protected:
  using TControl::TControl;
  // Routes WM_COMMAND and WM_CTLCOLOR* to the child; true when handled.
  bool RouteChildMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  std::vector<TControl*> children_;
};

class TPanel : public TWinControl {
 public:
  TPanel(TWinControl* parent, const TLayoutItem& item);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

class TGroupBox : public TWinControl {
 public:
  TGroupBox(TWinControl* parent, const TLayoutItem& item);
};

// A control this layer paints itself, on its parent's colour; clicks go
// through it to what lies below.
class TGraphicControl : public TControl {
 protected:
  TGraphicControl(TWinControl* parent, const TLayoutItem& item);
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // Paints over the background already filled in.
  virtual void Paint(HDC dc, RECT rc) = 0;
};

class TLabel : public TGraphicControl {
 public:
  TLabel(TWinControl* parent, const TLayoutItem& item);
  void SetCaption(const std::u16string& text) override;
  void SetFont(const TFont& font) override;

 protected:
  void Paint(HDC dc, RECT rc) override;

 private:
  // Without a fixed size the label takes the size of its text.
  void AutoSize();
  bool wrap_, fixed_, vcenter_;
};

class TButton : public TControl {
 public:
  TButton(TWinControl* parent, const TLayoutItem& item);
  TNotifyEvent OnClick;
  void Command(WORD code) override;
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TWinControl* parent, const TLayoutItem& item);
  bool Checked() const;
  void SetChecked(bool checked);
};

class TEdit : public TControl {
 public:
  TEdit(TWinControl* parent, const TLayoutItem& item);
  // Runs on every change of the text, typed or set.
  TNotifyEvent OnChange;
  std::u16string Text() const { return Caption(); }
  // Leaves the text (and OnChange) alone when it is already this.
  void SetText(const std::u16string& text);
  void Command(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;
};

class TMemo : public TControl {
 public:
  TMemo(TWinControl* parent, const TLayoutItem& item);
  void SetLines(const std::vector<std::u16string>& lines);
  HBRUSH CtlColor(HDC dc) override;
};

class TProgressBar : public TControl {
 public:
  TProgressBar(TWinControl* parent, const TLayoutItem& item);
  int Position() const;
  void SetPosition(int position);
};

// A bitmap, drawn at the top left or centred; a transparent picture leaves
// the colour of its bottom-left pixel unpainted. Its pixels are pixels at 96
// DPI: on another DPI it is drawn smoothly at the scaled size, so that it
// fills its scaled box as it does at 96 DPI.
class TImage : public TGraphicControl {
 public:
  TImage(TWinControl* parent, const TLayoutItem& item);
  ~TImage() override;
  HBITMAP Picture() const { return bitmap_; }
  // Takes the bitmap over.
  void SetPicture(HBITMAP bitmap);

 protected:
  void Paint(HDC dc, RECT rc) override;

 private:
  HBITMAP bitmap_ = nullptr;
  bool center_, transparent_;
};

// A sunken line along the top of its box.
class TBevel : public TGraphicControl {
 public:
  TBevel(TWinControl* parent, const TLayoutItem& item);

 protected:
  void Paint(HDC dc, RECT rc) override;
};
