// Symbolic links planted the way a user of the machine would plant them.
// Wine makes no links of its own (CreateSymbolicLinkW reports success and
// makes nothing), so there the host's ln makes one in the prefix, which Wine
// shows as a reparse point (for a folder as for a file).
#pragma once

#include <filesystem>

namespace testsupport {

// A symbolic link at link naming target (which exists); whether it is there.
bool PlantLink(const std::filesystem::path& target, const std::filesystem::path& link);
// Whether this system shows what is at p as a link (never followed to find
// out).
bool ShownAsLink(const std::filesystem::path& p);
// Removes the link itself, never what it names (Wine removes neither a link
// to a folder nor, by its own calls, a link whose target is gone).
void RemoveLink(const std::filesystem::path& link);

}  // namespace testsupport
