// Replays the seed corpora and every input a fuzzer ever stopped on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/tests/TestData.h"
#include "fuzz/FuzzTargets.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceDir() {
  return fs::path(TestDataDir()) / "fuzz";
}

std::vector<fs::path> Inputs(const std::string& target) {
  std::vector<fs::path> out;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = SourceDir() / kind / target;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
      continue;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.is_regular_file())
        out.push_back(e.path());
    }
  }
  return out;
}

void Replay(const std::string& target, void (*fn)(const uint8_t*, size_t), size_t atLeast) {
  const auto inputs = Inputs(target);
  EXPECT_GE(inputs.size(), atLeast) << "inputs for " << target << " under " << SourceDir();
  for (const auto& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    SCOPED_TRACE(p.filename().string());
    fn(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
}

}  // namespace

TEST(Replay, PackageIndex) {
  Replay("packageindex", FuzzPackageIndex, 4);
}
TEST(Replay, Envelope) {
  Replay("envelope", FuzzEnvelope, 4);
}
TEST(Replay, Table) {
  Replay("table", FuzzTable, 4);
}
TEST(Replay, Extract) {
  Replay("extract", FuzzExtract, 4);
}
TEST(Replay, Inflate) {
  Replay("inflate", FuzzInflate, 4);
}
TEST(Replay, Resources) {
  Replay("resources", FuzzResources, 3);
}
