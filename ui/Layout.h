// The form layout format the control layer reads (resources "TFORM1" and
// "TFRMCONFLICT"). UTF-8 text, one control a line:
//
//   KIND NAME [key=value | flag] ...
//
// KIND is form, panel, image, label, button, check, edit, memo, progress,
// group or bevel. Values with spaces are written in double quotes ("" for a
// quote inside). Keys: parent, id, left, top, width, height, align
// (top|left|right|none), text, font (a name), size (points), px (character
// height in pixels), color and fontcolor (btnface, white, cream, navy, green,
// windowtext or #rrggbb; btnface and windowtext are the system's colours of
// that name, read when the control is made), tab (tab order). Flags: hidden, bold, wrap, fixed,
// transparent, checked, readonly, vscroll, center, vcenter, client (a form's
// width and height are its client area, not its outer size), minimize (a
// form with a minimize box). Positions, sizes and pixel heights of fonts are
// pixels at 96 DPI; ScaleLayout turns them into pixels at another DPI. Lines starting
// with "#" and empty lines are ignored. The first line is the form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TAlign : uint8_t { None, Top, Left, Right };

// No colour given: the parent's (a background) or black (text).
inline constexpr uint32_t kNoColor = 0xFF000000;

struct TLayoutFont {
  std::u16string name;  // empty: the parent's font
  int points = 0;       // 0: not given
  int pixels = 0;       // character height in pixels; 0: not given
  bool bold = false;
  uint32_t color = kNoColor;  // else 0x00BBGGRR or a system colour
};

// A colour that is the system's colour of this index (COLOR_BTNFACE and the
// like) rather than a fixed one.
inline constexpr uint32_t kSystemColor = 0x80000000;
inline constexpr uint32_t kSysBtnFace = kSystemColor | 15;    // COLOR_BTNFACE
inline constexpr uint32_t kSysWindowText = kSystemColor | 8;  // COLOR_WINDOWTEXT

struct TLayoutItem {
  std::string kind;
  std::string name;
  std::string parent;  // empty for the form
  int id = 0;
  int left = 0, top = 0, width = 0, height = 0;
  TAlign align = TAlign::None;
  std::u16string text;
  TLayoutFont font;
  uint32_t color = kNoColor;  // background; kNoColor: the parent's
  int tab = -1;
  bool hidden = false, wrap = false, fixed = false, transparent = false, checked = false,
       readonly = false, vscroll = false, center = false, vcenter = false, client = false,
       minimize = false;
};

// Raises Error naming the line for anything it cannot read: an unknown kind,
// key, flag or colour, a number that is not one, a parent named before it is
// defined, or a name given twice.
std::vector<TLayoutItem> ParseLayout(std::string_view text);

// The colour of a colour name (the system's button face as kSysBtnFace).
bool ParseColor(std::string_view name, uint32_t& color);

// A length at 96 DPI in pixels at this DPI, rounded to the nearest pixel
// (halves away from zero).
int ScaleToDpi(int pixels, int dpi);

// The layout for a screen of this DPI: every position and size, the form's
// own size and the pixel heights of fonts (point sizes grow by themselves).
// A control's edges are scaled rather than its width, so controls that touch
// at 96 DPI still touch.
std::vector<TLayoutItem> ScaleLayout(std::vector<TLayoutItem> items, int dpi);
