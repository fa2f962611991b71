// The shell tests run on a thread whose COM apartment is single-threaded, as
// the setup program's GUI thread is.
#include <objbase.h>

#include "testsupport/TestRun.h"

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int rc = testsupport::RunTests(argc, argv);
  CoUninitialize();
  return rc;
}
