#include "win/Version.h"

#include "win/Api.h"

namespace win {

Version SystemVersion() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  const auto get = Api<Fn::RtlGetVersion>();
  if (get == nullptr || get(&v) < 0)
    return {};
  return Version{v.dwMajorVersion, v.dwMinorVersion};
}

}  // namespace win
