// A file whose room is reserved before its bytes are written: the end of the
// file moves, the writes still start at its beginning.
#include <gtest/gtest.h>

#include "package/tests/PackageFixture.h"

using Reserve = Scratch;

TEST_F(Reserve, AReservedFileHasExactlyTheBytesWritten) {
  const std::u16string path = FromFsPath(root / "reserved.bin");
  OutFile out(path);
  out.Reserve(6);
  out.Write("abc", 3);
  out.Write("def", 3);
  out.Close();
  EXPECT_EQ(ReadAll(root / "reserved.bin"), "abcdef");
}
