// The project's source folder as the tests see it (TEST_DATA_DIR), also from
// a Windows program under Wine, where a Unix path lies on drive Z:.
#pragma once

#include <cstdlib>
#include <string>

inline std::string TestDataDir() {
  const char* dir = std::getenv("TEST_DATA_DIR");
  std::string d = dir ? dir : ".";
#ifdef _WIN32
  if (!d.empty() && d[0] == '/')
    d = "Z:" + d;
#endif
  return d;
}
