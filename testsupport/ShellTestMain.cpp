// The shell tests run on a thread whose COM apartment is single-threaded, as
// the setup program's GUI thread is.
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
