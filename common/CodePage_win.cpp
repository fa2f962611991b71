// Windows programs take the system's ANSI code page (win/AnsiCodePage.h);
// no other is built in.
#include "common/CodePage.h"
#include "common/Errors.h"
#include "common/Text.h"

std::unique_ptr<CodePage> OtherCodePage(unsigned number) {
  throw Error(u"code page " + IntToText(number) +
              u" is not built in; use the system's ANSI code page");
}
