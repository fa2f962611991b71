#include "fs/File.h"
#include "package/UninstallList.h"

std::vector<TUninstallRow> ReadUninstallList(std::u16string_view programPath) {
  InFile in(programPath);
  return ReadUninstallList(
      in.Size(),
      [&](int64_t offset, char* buffer, size_t count) {
        in.Seek(offset);
        in.ReadExact(buffer, count);
      },
      std::u16string(programPath));
}
