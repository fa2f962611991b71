// Child runs of the test program itself, and a small disk to fill, for tests
// that stop a run half-way or let a disk run full under it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace testsupport {

// Runs this test program again with the variable name set to value in its
// environment (where a test environment of its own picks the job up before
// any test runs) and waits at most ms milliseconds (a minute unless told);
// its exit code, -1 when it could not be started or did not end (it is
// ended then).
int RunSelfWith(const std::string& name, const std::string& value, unsigned ms = 60000);

// A file system of bytes bytes mounted at folder (made when missing), empty;
// false when this machine will not mount one (not root, no mount program),
// with the reason in why.
bool MountSmallDisk(const std::filesystem::path& folder, uint64_t bytes, std::string& why);
void UnmountSmallDisk(const std::filesystem::path& folder);

}  // namespace testsupport
