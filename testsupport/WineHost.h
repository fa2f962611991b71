// The Unix machine under Wine: its names for the prefix's files, and its own
// programs, which Wine starts for a Windows program too.
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// Whether this runs under Wine.
bool UnderWine();
// The Unix path of a Windows path (its folders must exist); empty when not
// under Wine.
std::string UnixPath(const std::wstring& path);
// Starts a program of the host ("/bin/ln") with the arguments and waits
// until done holds (Wine's handle of a Unix process does not tell when it has
// ended), at most ms milliseconds; whether it held. Without done, waits for
// the process as far as Wine tells it.
bool RunHostProgram(const std::string& program, const std::string& args,
                    const std::function<bool()>& done = {}, unsigned ms = 5000);
// A Unix path as a Windows program names it (below Z:).
std::wstring HostPath(const std::string& unixPath);

}  // namespace testsupport
