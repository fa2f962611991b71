#include "pe/PeImage.h"

#include <algorithm>

#include "common/Text.h"

namespace {

constexpr uint32_t kInitializedData = 0x00000040;
constexpr size_t kSectionHeader = 40;
constexpr uint16_t kMaxSections = 96;

// Offsets in the optional header, the same in both kinds.
constexpr size_t kSizeOfInitializedData = 8;
constexpr size_t kSectionAlignment = 32;
constexpr size_t kFileAlignment = 36;
constexpr size_t kSizeOfImage = 56;
constexpr size_t kCheckSum = 64;

bool PowerOfTwo(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}

uint64_t AlignUp(uint64_t v, uint32_t alignment) {
  return (v + alignment - 1) / alignment * alignment;
}

std::u16string Hex(uint64_t v) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string s;
  do {
    s.insert(s.begin(), digits[v & 15]);
    v >>= 4;
  } while (v != 0);
  return u"0x" + s;
}

}  // namespace

PeImage::PeImage(std::string bytes) : bytes_(std::move(bytes)) {
  Parse();
}

uint16_t PeImage::Get16(size_t at) const {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes_[at]) |
                               static_cast<uint8_t>(bytes_[at + 1]) << 8);
}

uint32_t PeImage::Get32(size_t at) const {
  return static_cast<uint32_t>(Get16(at)) | static_cast<uint32_t>(Get16(at + 2)) << 16;
}

void PeImage::Put16(size_t at, uint16_t v) {
  bytes_[at] = static_cast<char>(v & 0xFF);
  bytes_[at + 1] = static_cast<char>(v >> 8);
}

void PeImage::Put32(size_t at, uint32_t v) {
  Put16(at, static_cast<uint16_t>(v & 0xFFFF));
  Put16(at + 2, static_cast<uint16_t>(v >> 16));
}

void PeImage::Parse() {
  const size_t size = bytes_.size();
  if (size < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
    throw PeError(u"not a Windows program (no MZ header)");
  const size_t pe = Get32(0x3C);
  if (pe % 8 != 0 || pe > size || size - pe < 24 ||
      bytes_.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    throw PeError(u"not a Windows program (no PE header)");
  machine_ = Get16(pe + 4);
  const uint16_t count = Get16(pe + 6);
  const uint16_t optSize = Get16(pe + 20);
  optionalHeader_ = pe + 24;
  if (count > kMaxSections)
    throw PeError(u"a PE header with " + IntToText(count) + u" sections");
  if (optSize < 2 || optionalHeader_ + optSize > size)
    throw PeError(u"the PE optional header lies outside the file");
  const uint16_t magic = Get16(optionalHeader_);
  if (magic != 0x10B && magic != 0x20B)
    throw PeError(u"an unknown PE optional header (magic " + Hex(magic) + u")");
  is64_ = magic == 0x20B;
  const size_t countAt = is64_ ? 108 : 92;
  directories_ = optionalHeader_ + (is64_ ? 112 : 96);
  if (countAt + 4 > optSize)
    throw PeError(u"the PE optional header is too short");
  directoryCount_ = Get32(optionalHeader_ + countAt);
  const size_t dirBytes = static_cast<size_t>(std::min<uint32_t>(directoryCount_, 16)) * 8;
  if (directories_ + dirBytes > optionalHeader_ + optSize)
    throw PeError(u"the PE data directories lie outside the optional header");
  directoryCount_ = std::min<uint32_t>(directoryCount_, 16);
  sectionAlignment_ = Get32(optionalHeader_ + kSectionAlignment);
  fileAlignment_ = Get32(optionalHeader_ + kFileAlignment);
  if (!PowerOfTwo(sectionAlignment_) || !PowerOfTwo(fileAlignment_) ||
      fileAlignment_ > sectionAlignment_) {
    throw PeError(u"unusable alignments: file " + Hex(fileAlignment_) + u", sections " +
                  Hex(sectionAlignment_));
  }
  sectionTable_ = optionalHeader_ + optSize;
  if (sectionTable_ + count * kSectionHeader > size)
    throw PeError(u"the section table lies outside the file");
  sections_.clear();
  for (uint16_t i = 0; i < count; ++i) {
    const size_t h = sectionTable_ + i * kSectionHeader;
    TPeSection s;
    s.name = bytes_.substr(h, 8);
    s.name.resize(s.name.find('\0') == std::string::npos ? 8 : s.name.find('\0'));
    s.virtualSize = Get32(h + 8);
    s.virtualAddress = Get32(h + 12);
    s.rawSize = Get32(h + 16);
    s.rawPointer = Get32(h + 20);
    s.characteristics = Get32(h + 36);
    if (s.rawSize != 0 && static_cast<uint64_t>(s.rawPointer) + s.rawSize > size)
      throw PeError(u"section " + FromUtf8(s.name) + u" lies outside the file");
    sections_.push_back(s);
  }
}

uint32_t PeImage::SizeOfImage() const {
  return Get32(optionalHeader_ + kSizeOfImage);
}

uint32_t PeImage::SizeOfInitializedData() const {
  return Get32(optionalHeader_ + kSizeOfInitializedData);
}

uint32_t PeImage::Checksum() const {
  return Get32(optionalHeader_ + kCheckSum);
}

TDataDirectory PeImage::Directory(int index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= directoryCount_)
    return {};
  return {Get32(directories_ + 8 * static_cast<size_t>(index)),
          Get32(directories_ + 8 * static_cast<size_t>(index) + 4)};
}

int PeImage::SectionOf(uint32_t rva) const {
  for (size_t i = 0; i < sections_.size(); ++i) {
    const TPeSection& s = sections_[i];
    const uint32_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent)
      return static_cast<int>(i);
  }
  return -1;
}

std::string_view PeImage::SectionData(int index) const {
  const TPeSection& s = sections_.at(static_cast<size_t>(index));
  const uint32_t n = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
  // A section with no bytes in the file may name any offset; the reader
  // checked the others against the file's size.
  if (n == 0)
    return {};
  return std::string_view(bytes_).substr(s.rawPointer, n);
}

bool PeImage::IsLastSection(int index) const {
  const TPeSection& last = sections_.at(static_cast<size_t>(index));
  for (const TPeSection& s : sections_) {
    if (&s == &last)
      continue;
    if (s.virtualAddress >= last.virtualAddress)
      return false;
    if (s.rawSize != 0 && s.rawPointer >= last.rawPointer)
      return false;
  }
  return last.rawSize != 0 &&
         static_cast<uint64_t>(last.rawPointer) + last.rawSize == bytes_.size();
}

void PeImage::ReplaceLastSection(std::string_view data, int directory) {
  ReplaceLastSection(data, 0, 0, directory);
  bytes_.append(tailPadding_, '\0');
  tailPadding_ = 0;
}

void PeImage::ReplaceLastSection(std::string_view head, uint64_t tailSize, uint64_t tailWordSum,
                                 int directory) {
  if (directory < 0 || static_cast<uint32_t>(directory) >= directoryCount_)
    throw PeError(u"the program has no data directory " + IntToText(directory));
  const TDataDirectory d = Directory(directory);
  const int index = d.rva != 0 ? SectionOf(d.rva) : -1;
  if (index < 0)
    throw PeError(u"data directory " + IntToText(directory) + u" lies in no section");
  if (!IsLastSection(index))
    throw PeError(u"the section of data directory " + IntToText(directory) +
                  u" is not the last one, or does not end the file");
  TPeSection& s = sections_[static_cast<size_t>(index)];
  if (tailSize != 0 && (s.rawPointer + head.size()) % 2 != 0)
    throw PeError(u"a section's head before its tail must end at an even offset");
  const uint64_t size = static_cast<uint64_t>(head.size()) + tailSize;
  const uint64_t rawSize = AlignUp(size, fileAlignment_);
  const uint64_t end = AlignUp(static_cast<uint64_t>(s.virtualAddress) + size, sectionAlignment_);
  if (size > 0xFFFFFFFFu || end > 0xFFFFFFFFu || s.rawPointer + rawSize > 0xFFFFFFFFu)
    throw PeError(u"the program would outgrow 4 GiB");
  const uint32_t oldRaw = s.rawSize;
  bytes_.resize(s.rawPointer);
  bytes_.append(head);
  tailPadding_ = static_cast<size_t>(rawSize - size);
  s.virtualSize = static_cast<uint32_t>(size);
  s.rawSize = static_cast<uint32_t>(rawSize);
  const size_t h = sectionTable_ + static_cast<size_t>(index) * kSectionHeader;
  Put32(h + 8, s.virtualSize);
  Put32(h + 16, s.rawSize);
  Put32(optionalHeader_ + kSizeOfImage, static_cast<uint32_t>(end));
  if (s.characteristics & kInitializedData) {
    const uint32_t before = SizeOfInitializedData();
    const uint32_t others = before >= oldRaw ? before - oldRaw : 0;
    Put32(optionalHeader_ + kSizeOfInitializedData, others + s.rawSize);
  }
  Put32(directories_ + 8 * static_cast<size_t>(directory), s.virtualAddress);
  Put32(directories_ + 8 * static_cast<size_t>(directory) + 4, s.virtualSize);
  // The field counts as zeros; the padding's zeros add nothing but their
  // count.
  Put32(optionalHeader_ + kCheckSum, 0);
  uint64_t sum = PeWordSum(bytes_) + tailWordSum;
  while (sum > 0xFFFF)
    sum = (sum & 0xFFFF) + (sum >> 16);
  Put32(optionalHeader_ + kCheckSum,
        static_cast<uint32_t>(sum + bytes_.size() + tailSize + tailPadding_));
}

namespace {

// The sum of the 16-bit little-endian words of data (a last odd byte is a
// word of its own), taken four bytes at a time: the one's complement sum is
// the same whatever the grouping, once folded.
uint64_t SumWords(std::string_view data) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const size_t n = data.size();
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    sum += static_cast<uint32_t>(p[i] | p[i + 1] << 8) +
           (static_cast<uint32_t>(p[i + 2] | p[i + 3] << 8));
  for (; i + 2 <= n; i += 2)
    sum += static_cast<uint32_t>(p[i] | p[i + 1] << 8);
  if (i < n)
    sum += p[i];
  return sum;
}

}  // namespace

uint64_t PeWordSum(std::string_view data) {
  return SumWords(data);
}

uint32_t PeChecksum(std::string_view file, size_t checksumOffset) {
  // The field itself counts as zeros; it lies at an even offset in every
  // program (the PE header is 8-byte aligned).
  uint64_t sum = 0;
  if (checksumOffset % 2 != 0 || checksumOffset >= file.size()) {
    sum = SumWords(file);
  } else {
    sum = SumWords(file.substr(0, checksumOffset));
    if (checksumOffset + 4 < file.size())
      sum += SumWords(file.substr(checksumOffset + 4));
  }
  while (sum > 0xFFFF)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}
