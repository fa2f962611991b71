// Files and trees as the tests write and compare them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& file);
// Writes the bytes as the whole file, making its folders first.
void WriteAll(const std::filesystem::path& file, const std::string& bytes);
// Every path below folder, relative to it with "/" between names, sorted.
std::vector<std::string> Tree(const std::filesystem::path& folder);

// A new, empty folder under the temporary folder whose name starts with
// what; no other call, in this program or another, gets the same one.
std::filesystem::path ScratchFolder(const std::string& what);

}  // namespace testsupport
