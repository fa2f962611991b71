// Checking a package without unpacking it: the index is read and checked as
// the extractor does, then every body is inflated by the extractor's own way
// to nowhere and must take exactly its stored size and give exactly its
// unpacked size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "package/Extractor.h"

struct TVerifyResult {
  bool usableIndex = false;  // false: the length field says the package holds nothing
  int files = 0;
  int64_t stored = 0;
  int64_t unpacked = 0;
};

// Raises an Error naming the first bad row (or what else is wrong: the file,
// its trailer, the index); writes nothing. progress, when given, receives the
// share checked, 0 to 100.
TVerifyResult VerifyPackage(std::u16string_view packagePath, std::u16string_view password,
                            const TExtractOptions& options = {},
                            const TProgressEvent& progress = {});

// How far a package's index gets, for messages that say what is wrong.
enum class TIndexState {
  NoIndex,        // the length field says there is none: not a package, or an empty one
  NotAnEnvelope,  // an index is there but it is no envelope (or an empty one)
  Opens,          // the envelope opens to some text with this password
};
// Raises only when the file cannot be read or is too short for its trailer.
TIndexState ExamineIndex(std::u16string_view packagePath, std::u16string_view password,
                         const CodePage& codePage);
