#include "win/SystemText.h"

#include "common/Text.h"
#include "win/Api.h"

std::u16string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n != 0 && buffer != nullptr) {
    text = std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.'))
      text.pop_back();
  }
  if (buffer != nullptr)
    LocalFree(buffer);
  return text;
}

std::u16string SystemErrorTextOr(DWORD code) {
  const std::u16string text = SystemErrorText(code);
  return text.empty() ? u"system error " + IntToText(code) : text;
}

std::u16string NtStatusText(LONG status) {
  const auto toWin32 = win::Api<win::Fn::RtlNtStatusToDosError>();
  return SystemErrorTextOr(toWin32 != nullptr ? toWin32(status) : static_cast<DWORD>(status));
}
