// Runs a test program's cases and tells CTest about skipped ones: a program
// whose cases all passed but some skipped ends with kSkippedExitCode (the
// tests' SKIP_RETURN_CODE), and names each skipped case with its reason in
// its last lines, so that no skip passes for a pass.
#pragma once

namespace testsupport {

// The exit code of a run whose cases passed or were skipped, some skipped.
inline constexpr int kSkippedExitCode = 77;

// InitGoogleTest, every case, then one line per skipped case
// ("skipped case: PROGRAM SUITE.NAME: REASON") and one line of counts
// ("test cases: PROGRAM P passed, F failed, S skipped"); the exit code.
int RunTests(int argc, char** argv);

}  // namespace testsupport
