#include <windows.h>

#include <cstdio>

#include "app/RunLog.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/File.h"

void TRunLog::Line(std::u16string_view text) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u ", t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds);
  text_ += stamp;
  text_ += ToUtf8(text);
  text_ += "\r\n";
}

bool TRunLog::WriteTo(const std::u16string& path, std::u16string& why) const {
  const std::u16string folder = ParentFolder(path);
  if (folder.empty() || folder.size() == path.size()) {
    why = u"not a file's path: " + path;
    return false;
  }
  try {
    // The folder is refused when it is a link; the log's name is made new.
    FolderTree tree(folder, FolderTree::RootLink::kRefuse);
    NewFile file(tree.Root(), path.substr(folder.size()));
    static const char kBom[] = "\xEF\xBB\xBF";
    file.Out().Write(kBom, 3);
    file.Out().Write(text_.data(), text_.size());
    file.Finish(false);
    file.Place(true);
    return true;
  } catch (const std::exception& e) {
    why = MessageOf(e);
  }
  return false;
}
