// The log of one run of Setup.exe: UTF-8 lines kept in memory and written
// out at the end. The elevated program writes it as it writes every file: a
// new file made in the log's folder (held, entered without following a
// link) and moved over the log's name, so a link or a file that someone
// planted at that name is replaced, never written through.
#pragma once

#include <string>
#include <string_view>

class TRunLog {
 public:
  // A line, behind the time of day.
  void Line(std::u16string_view text);
  const std::string& Text() const { return text_; }
  // Writes the log to path (a whole path); false with the reason in why.
  bool WriteTo(const std::u16string& path, std::u16string& why) const;

 private:
  std::string text_;
};
