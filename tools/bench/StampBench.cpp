// stamp_bench STUB SETTINGS PACKAGE OUT: what stamping a package into the
// setup stub costs above writing the output file. Prints the processor time
// (the best of five rounds) of copying the package into a file of the
// program's size, and of the stamping (the package's word sum read from
// its file, the stub's resources rewritten, the program written with the
// package streamed into its last section and the check sum).
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "tools/SetupStamp.h"

namespace {

double BestMilliseconds(const std::function<void()>& run) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const std::clock_t start = std::clock();
    run();
    const double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    best = ms < best ? ms : best;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: stamp_bench STUB SETTINGS PACKAGE OUT\n");
    return 2;
  }
  try {
    const std::string stub = ReadFileBytes(FromUtf8(argv[1]));
    const TProductResources product = LoadProductResources(FromUtf8(argv[2]));
    const std::u16string package = FromUtf8(argv[3]), out = FromUtf8(argv[4]);
    TStampedSetup plain;  // no head, no padding: the package alone
    const TPackageExtent whole{static_cast<uint64_t>(InFile(package).Size()), 0};
    const double copy = BestMilliseconds([&] {
      OutFile file(out);
      WriteSetup(file, plain, package, whole);
      file.Close();
    });
    const double stamp = BestMilliseconds([&] {
      const TPackageExtent extent = ExtentOfFile(package);
      const TStampedSetup setup = StampSetup(stub, product, extent);
      OutFile file(out);
      WriteSetup(file, setup, package, extent);
      file.Close();
    });
    std::printf(
        "stamping a package of %.1f MB: writing it out %.0f ms, stamping %.0f ms: %.0f ms above "
        "writing the output (processor time, best of 5)\n",
        static_cast<double>(whole.size) / 1e6, copy, stamp, stamp - copy);
  } catch (const Error& e) {
    std::fprintf(stderr, "stamp_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
