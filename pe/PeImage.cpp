#include "pe/PeImage.h"

#include <algorithm>

#include "common/Bytes.h"
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
  return u"0x" + ToHex(v);
}

}  // namespace

PeImage::PeImage(std::string bytes) : bytes_(std::move(bytes)) {
  Parse();
}

void PeImage::Parse() {
  const size_t size = bytes_.size();
  const std::string_view view(bytes_);
  if (!IsDosHeader(view))
    throw PeError(u"not a Windows program (no MZ header)");
  const size_t pe = PeHeaderOffset(view);
  if (pe % 8 != 0 || pe > size || size - pe < kNtHeadersSize || !IsPeSignature(view.substr(pe)))
    throw PeError(u"not a Windows program (no PE header)");
  const TFileHeader file = ReadFileHeader(view.substr(pe));
  machine_ = file.machine;
  const uint16_t count = file.sectionCount;
  const uint16_t optSize = file.optionalSize;
  optionalHeader_ = pe + kNtHeadersSize;
  if (count > kMaxSections)
    throw PeError(u"a PE header with " + IntToText(count) + u" sections");
  if (optSize < 2 || optionalHeader_ + optSize > size)
    throw PeError(u"the PE optional header lies outside the file");
  const uint16_t magic = GetU16(view, optionalHeader_);
  const std::optional<TOptionalLayout> layout = OptionalLayout(magic);
  if (!layout)
    throw PeError(u"an unknown PE optional header (magic " + Hex(magic) + u")");
  layout_ = *layout;
  if (layout_.directoryCountAt + 4 > optSize)
    throw PeError(u"the PE optional header is too short");
  directoryCount_ = GetU32(bytes_, optionalHeader_ + layout_.directoryCountAt);
  const size_t dirBytes = static_cast<size_t>(std::min<uint32_t>(directoryCount_, 16)) * 8;
  if (layout_.directoriesAt + dirBytes > optSize)
    throw PeError(u"the PE data directories lie outside the optional header");
  directoryCount_ = std::min<uint32_t>(directoryCount_, 16);
  sectionAlignment_ = GetU32(bytes_, optionalHeader_ + kSectionAlignment);
  fileAlignment_ = GetU32(bytes_, optionalHeader_ + kFileAlignment);
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
    s.virtualSize = GetU32(bytes_, h + 8);
    s.virtualAddress = GetU32(bytes_, h + 12);
    s.rawSize = GetU32(bytes_, h + 16);
    s.rawPointer = GetU32(bytes_, h + 20);
    s.characteristics = GetU32(bytes_, h + 36);
    if (s.rawSize != 0 && static_cast<uint64_t>(s.rawPointer) + s.rawSize > size)
      throw PeError(u"section " + FromUtf8(s.name) + u" lies outside the file");
    sections_.push_back(s);
  }
}

uint32_t PeImage::SizeOfImage() const {
  return GetU32(bytes_, optionalHeader_ + kSizeOfImage);
}

uint32_t PeImage::SizeOfInitializedData() const {
  return GetU32(bytes_, optionalHeader_ + kSizeOfInitializedData);
}

uint32_t PeImage::Checksum() const {
  return GetU32(bytes_, optionalHeader_ + kCheckSum);
}

TDataDirectory PeImage::Directory(int index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= directoryCount_)
    return {};
  return ReadDirectory(std::string_view(bytes_).substr(optionalHeader_), layout_,
                       static_cast<size_t>(index));
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
  SetU32(bytes_, h + 8, s.virtualSize);
  SetU32(bytes_, h + 16, s.rawSize);
  SetU32(bytes_, optionalHeader_ + kSizeOfImage, static_cast<uint32_t>(end));
  if (s.characteristics & kInitializedData) {
    const uint32_t before = SizeOfInitializedData();
    const uint32_t others = before >= oldRaw ? before - oldRaw : 0;
    SetU32(bytes_, optionalHeader_ + kSizeOfInitializedData, others + s.rawSize);
  }
  const size_t entry = optionalHeader_ + layout_.directoriesAt + 8 * static_cast<size_t>(directory);
  SetU32(bytes_, entry, s.virtualAddress);
  SetU32(bytes_, entry + 4, s.virtualSize);
  // The field counts as zeros; the padding's zeros add nothing but their
  // count.
  SetU32(bytes_, optionalHeader_ + kCheckSum, 0);
  uint64_t sum = PeWordSum(bytes_) + tailWordSum;
  while (sum > 0xFFFF)
    sum = (sum & 0xFFFF) + (sum >> 16);
  SetU32(bytes_, optionalHeader_ + kCheckSum,
         static_cast<uint32_t>(sum + bytes_.size() + tailSize + tailPadding_));
}

namespace {

// The sum of the 16-bit little-endian words of data (a last odd byte is a
// word of its own), taken four bytes at a time: the one's complement sum is
// the same whatever the grouping, once folded.
uint64_t SumWords(std::string_view data) {
  const std::span<const uint8_t> p = AsBytes(data);
  const size_t n = data.size();
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    sum += static_cast<uint32_t>(GetU16(p, i)) + GetU16(p, i + 2);
  for (; i + 2 <= n; i += 2)
    sum += GetU16(p, i);
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
