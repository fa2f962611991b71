#include "uninst/ReadFile.h"

#include <algorithm>

#include "win/WideText.h"

ReadOnlyFile::ReadOnlyFile(const std::u16string& path)
    : h_(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

ReadOnlyFile::~ReadOnlyFile() {
  if (h_ != INVALID_HANDLE_VALUE)
    CloseHandle(h_);
}

int64_t ReadOnlyFile::Size() const {
  LARGE_INTEGER size{};
  return IsOpen() && GetFileSizeEx(h_, &size) ? size.QuadPart : -1;
}

bool ReadOnlyFile::ReadAt(int64_t offset, char* buffer, size_t count) {
  LARGE_INTEGER at{};
  at.QuadPart = offset;
  if (!IsOpen() || !SetFilePointerEx(h_, at, nullptr, FILE_BEGIN))
    return false;
  while (count > 0) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(count < (1u << 20) ? count : (1u << 20));
    if (!ReadFile(h_, buffer, want, &got, nullptr) || got == 0)
      return false;
    buffer += got;
    count -= got;
  }
  return true;
}
