// A Windows program's image as bytes: its headers, its section table and its
// data directories, read and changed without the system's help. What a setup
// stub needs: find the resource section, put a new one in its place when it
// is the last, and keep the headers and the check sum true.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "pe/PeHeaders.h"

// An image that is no PE program, or one this code cannot change safely.
class PeError : public Error {
 public:
  using Error::Error;
};

struct TPeSection {
  std::string name;
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;
  uint32_t characteristics = 0;
};

class PeImage {
 public:
  // Raises PeError naming what is wrong when the bytes are no PE program
  // (headers or sections out of the file, alignments that are no powers of two).
  explicit PeImage(std::string bytes);

  const std::string& Bytes() const { return bytes_; }
  // The bytes, moved out; the image is empty afterwards.
  std::string Release() && { return std::move(bytes_); }
  uint16_t Machine() const { return machine_; }
  bool Is64() const { return layout_.is64; }
  uint32_t FileAlignment() const { return fileAlignment_; }
  uint32_t SectionAlignment() const { return sectionAlignment_; }
  uint32_t SizeOfImage() const;
  uint32_t SizeOfInitializedData() const;
  uint32_t Checksum() const;
  const std::vector<TPeSection>& Sections() const { return sections_; }
  // An empty entry when the header has no such directory.
  TDataDirectory Directory(int index) const;

  // The index of the section that holds an address; -1 when none does.
  int SectionOf(uint32_t rva) const;
  // A section's bytes in the file (its raw size, or less when the virtual
  // size is smaller).
  std::string_view SectionData(int index) const;
  // Whether the section is the last both in memory and in the file, with no
  // bytes after it in the file.
  bool IsLastSection(int index) const;

  // Puts data in place of the section that holds data directory `directory`
  // (same name, address and flags), which must be the last: the section
  // table, SizeOfImage, SizeOfInitializedData and the directory (its address
  // and size become the section's) follow, and the check sum is computed
  // anew. Raises PeError when that section is not the last, or bytes follow
  // it, or the image would outgrow 4 GiB.
  void ReplaceLastSection(std::string_view data, int directory);
  // The same for a section whose data is head then tailSize bytes that stay
  // the caller's and are never held here (a package of hundreds of
  // megabytes, streamed from its file), of which tailWordSum is the
  // PeWordSum: the image keeps the bytes up to the head's end, and the
  // program's file is Bytes(), then the tail, then TailPadding() zero bytes,
  // which the check sum covers. Raises PeError as above.
  void ReplaceLastSection(std::string_view head, uint64_t tailSize, uint64_t tailWordSum,
                          int directory);
  size_t TailPadding() const { return tailPadding_; }

 private:
  void Parse();

  std::string bytes_;
  uint16_t machine_ = 0;
  uint32_t fileAlignment_ = 0;
  uint32_t sectionAlignment_ = 0;
  size_t optionalHeader_ = 0;
  TOptionalLayout layout_;
  uint32_t directoryCount_ = 0;
  size_t sectionTable_ = 0;
  std::vector<TPeSection> sections_;
  size_t tailPadding_ = 0;
};

// The image check sum: the 16-bit one's complement sum of the file with the
// field at checksumOffset left out, plus the file's length.
uint32_t PeChecksum(std::string_view file, size_t checksumOffset);
// The sum of data's 16-bit little-endian words (a last odd byte counts as
// a word of its own), unfolded: the sums of consecutive pieces of even
// length add up to the sum of the whole.
uint64_t PeWordSum(std::string_view data);
