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
// windowtext or #rrggbb), tab (tab order). Flags: hidden, bold, wrap, fixed,
// transparent, checked, readonly, vscroll, center, vcenter, client (a form's
// width and height are its client area, not its outer size), minimize (a
// form with a minimize box). Lines starting
// with "#" and empty lines are ignored. The first line is the form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TAlign : uint8_t { None, Top, Left, Right };

struct TLayoutFont {
  std::u16string name;  // empty: the parent's font
  int points = 0;       // 0: not given
  int pixels = 0;       // character height in pixels; 0: not given
  bool bold = false;
  uint32_t color = 0xFF000000;  // 0xFF000000: not given, else 0x00BBGGRR
};

struct TLayoutItem {
  std::string kind;
  std::string name;
  std::string parent;  // empty for the form
  int id = 0;
  int left = 0, top = 0, width = 0, height = 0;
  TAlign align = TAlign::None;
  std::u16string text;
  TLayoutFont font;
  uint32_t color = 0xFF000000;  // background; 0xFF000000: the parent's
  int tab = -1;
  bool hidden = false, wrap = false, fixed = false, transparent = false, checked = false,
       readonly = false, vscroll = false, center = false, vcenter = false, client = false,
       minimize = false;
};

// Raises Error naming the line for anything it cannot read: an unknown kind,
// key, flag or colour, a number that is not one, a parent named before it is
// defined, or a name given twice.
std::vector<TLayoutItem> ParseLayout(std::string_view text);

// The colour of a colour name (the system's button face as 0x00F0F0F0).
bool ParseColor(std::string_view name, uint32_t& color);
