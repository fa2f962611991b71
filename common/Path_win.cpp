// Names compared by the system's own case table.
#include <windows.h>

#include <string>

#include "common/Path.h"

bool SystemSameName(std::u16string_view a, std::u16string_view b) {
  const std::wstring wa(a.begin(), a.end()), wb(b.begin(), b.end());
  return lstrcmpiW(wa.c_str(), wb.c_str()) == 0;
}
