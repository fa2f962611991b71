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

// A font as the layout describes it; the colour is the text colour, as the
// layout gives it (0x00BBGGRR, a system colour, or kNoColor for black).
struct TFont {
  std::u16string name = u"Tahoma";
  int points = 8;  // used when pixels is 0
  int pixels = 0;  // character height in pixels
  bool bold = false;
  uint32_t color = kNoColor;
  bool operator==(const TFont&) const = default;
};

// High contrast: while the system's high-contrast mode is on, the fixed
// colours of the layouts give way to the system's: a fixed background is
// drawn in the window colour, and text in the text colour of its background
// (window text, or button text on the button face). The setting is read from
// the system when the first control is made and again whenever a form hears
// that a system setting changed; SetHighContrast sets it as that news would.
bool HighContrast();
void SetHighContrast(bool on);
void ReadHighContrastSetting();

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
  // The background: the control's own colour, else its parent's, else the
  // button face (see HighContrast).
  COLORREF Color() const;
  void SetColor(COLORREF color) { color_ = color & 0x00FFFFFF; }
  // The colour of the control's text on its background (see HighContrast).
  COLORREF TextColor() const;

  // What the control tells screen readers (ui/Accessible.h). The name is the
  // one given, else the control's own (its caption without the "&" of its
  // mnemonic, for most).
  void SetAccessibleName(const std::u16string& name) { accessibleName_ = name; }
  std::u16string AccessibleName() const;
  virtual long AccessibleRole() const;
  // The value a screen reader reads out; false when the system's own answer
  // stands.
  virtual bool AccessibleValue(std::u16string& value) const;

  // Notifications a container hands back to the child that sent them.
  virtual void Command(WORD /*code*/) {}
  // WM_CTLCOLOR*: the brush of the background; the default paints the
  // parent's colour behind the text.
  virtual HBRUSH CtlColor(HDC dc);

  // The control of a window made by this layer, or nullptr.
  static TControl* FromHandle(HWND hwnd);
  // Visible (with every container above it) and enabled: the focus can rest
  // on it and a key can press it.
  bool Usable() const;

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
  // The name a control has when none is given.
  virtual std::u16string OwnAccessibleName() const;
  // The layout colour of the background: the first one given from this
  // control up, else the button face.
  uint32_t BackgroundSpec() const;

  HWND hwnd_ = nullptr;
  WNDPROC oldProc_ = nullptr;
  TWinControl* parent_ = nullptr;
  int id_ = 0;
  std::string name_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = TAlign::None;
  bool visible_ = true;
  TFont font_;
  uint32_t color_ = kNoColor;  // as the layout gives it
  bool ownClass_ = false;
  std::u16string accessibleName_;
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
  long AccessibleRole() const override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

class TGroupBox : public TWinControl {
 public:
  TGroupBox(TWinControl* parent, const TLayoutItem& item);
  long AccessibleRole() const override;
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
  long AccessibleRole() const override;

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
  // Presses the button as a click would (OnClick).
  void Click();
  // Drawn with the heavy border of the button Enter presses.
  void SetDefault(bool isDefault);
  long AccessibleRole() const override;
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TWinControl* parent, const TLayoutItem& item);
  bool Checked() const;
  void SetChecked(bool checked);
  long AccessibleRole() const override;
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
  long AccessibleRole() const override;
  bool AccessibleValue(std::u16string& value) const override;

 protected:
  // An edit box in a group box is named by the group box, as a label names
  // the box it stands before.
  std::u16string OwnAccessibleName() const override;
};

// A multi-line edit box. Tab, Enter and Escape are the dialog's keys here
// too: Tab moves on, Enter and Escape press the form's buttons.
class TMemo : public TControl {
 public:
  TMemo(TWinControl* parent, const TLayoutItem& item);
  void SetLines(const std::vector<std::u16string>& lines);
  HBRUSH CtlColor(HDC dc) override;
  long AccessibleRole() const override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  std::u16string OwnAccessibleName() const override { return {}; }
};

class TProgressBar : public TControl {
 public:
  TProgressBar(TWinControl* parent, const TLayoutItem& item);
  int Position() const;
  void SetPosition(int position);
  long AccessibleRole() const override;
  // "N%", as the system's own progress bar says.
  bool AccessibleValue(std::u16string& value) const override;
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
  long AccessibleRole() const override;

 protected:
  void Paint(HDC dc, RECT rc) override;
  std::u16string OwnAccessibleName() const override { return {}; }

 private:
  HBITMAP bitmap_ = nullptr;
  bool center_, transparent_;
};

// A sunken line along the top of its box.
class TBevel : public TGraphicControl {
 public:
  TBevel(TWinControl* parent, const TLayoutItem& item);
  long AccessibleRole() const override;

 protected:
  void Paint(HDC dc, RECT rc) override;
  std::u16string OwnAccessibleName() const override { return {}; }
};
