#include "testsupport/TestRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

namespace {

// The program's own name, without its folders and ".exe".
std::string ProgramName(const char* argv0) {
  std::string name = argv0 != nullptr ? argv0 : "test";
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  return name;
}

// One line of text: a reason over several lines is joined with spaces.
std::string OneLine(std::string text) {
  for (char& c : text)
    c = (c == '\n' || c == '\r') ? ' ' : c;
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text.empty() ? "no reason given" : text;
}

class SkipReport : public testing::EmptyTestEventListener {
 public:
  explicit SkipReport(std::string program) : program_(std::move(program)) {}

  void OnTestPartResult(const testing::TestPartResult& part) override {
    if (part.skipped() && reason_.empty())
      reason_ = OneLine(part.message());
  }
  void OnTestEnd(const testing::TestInfo& info) override {
    if (info.result()->Skipped())
      skipped_.push_back(std::string(info.test_suite_name()) + "." + info.name() + ": " +
                         (reason_.empty() ? "no reason given" : reason_));
    reason_.clear();
  }
  void OnTestProgramEnd(const testing::UnitTest& unit) override {
    for (const std::string& s : skipped_)
      std::printf("skipped case: %s %s\n", program_.c_str(), s.c_str());
    std::printf("test cases: %s %d passed, %d failed, %d skipped\n", program_.c_str(),
                unit.successful_test_count(), unit.failed_test_count(), unit.skipped_test_count());
    std::fflush(stdout);
  }

 private:
  std::string program_;
  std::string reason_;
  std::vector<std::string> skipped_;
};

}  // namespace

int RunTests(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  unit.listeners().Append(new SkipReport(ProgramName(argc > 0 ? argv[0] : nullptr)));
  const int rc = RUN_ALL_TESTS();
  if (rc == 0 && unit.skipped_test_count() > 0)
    return kSkippedExitCode;
  return rc;
}

}  // namespace testsupport
