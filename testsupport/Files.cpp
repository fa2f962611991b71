#include "testsupport/Files.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace testsupport {

std::string ReadAll(const fs::path& file) {
  // In one read: a byte at a time is slow in a build without optimisation.
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size <= 0)
    return {};
  std::string bytes(static_cast<size_t>(size), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Tree(const fs::path& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    out.push_back(it->path().lexically_relative(folder).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

fs::path ScratchFolder(const std::string& what) {
  static std::atomic<unsigned> counter{0};
  static const unsigned run = std::random_device{}();
  for (;;) {
    const fs::path folder = fs::temp_directory_path() /
                            (what + "-" + std::to_string(run) + "-" + std::to_string(++counter));
    // A folder made now, not one found there.
    if (fs::create_directories(folder))
      return folder;
  }
}

}  // namespace testsupport
