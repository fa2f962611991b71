// The main of every test program that needs nothing set up before its cases.
#include "testsupport/TestRun.h"

int main(int argc, char** argv) {
  return testsupport::RunTests(argc, argv);
}
