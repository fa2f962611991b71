// Off Windows there is no system case table to ask.
#include "common/Path.h"

bool SystemSameName(std::u16string_view a, std::u16string_view b) {
  return SamePath(a, b);
}
