#include "testsupport/Links.h"

namespace fs = std::filesystem;

namespace testsupport {

bool PlantLink(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  fs::create_symlink(target, link, ec);
  return !ec;
}

bool ShownAsLink(const fs::path& p) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(p, ec));
}

void RemoveLink(const fs::path& link) {
  std::error_code ec;
  fs::remove(link, ec);
}

}  // namespace testsupport
