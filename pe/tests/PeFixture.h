// Programs made in memory for the tests: a PE header of either kind with the
// alignments asked for, and sections laid out one after the other; the one
// with a resource tree is named by the resource directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pe/ResourceTree.h"

struct TSectionSpec {
  std::string name;
  std::string data;                       // the section's bytes (ignored with a tree)
  std::optional<TResourceTree> tree;      // a resource section holding this tree
  uint32_t characteristics = 0x40000040;  // initialised data, readable
};

struct TImageSpec {
  bool is64 = false;
  uint32_t fileAlignment = 0x200;
  uint32_t sectionAlignment = 0x1000;
  std::vector<TSectionSpec> sections;
};

inline void Put16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

inline uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}

constexpr size_t kPeAt = 0x40;
constexpr size_t kOptAt = kPeAt + 24;

inline uint32_t AlignTo(uint64_t v, uint32_t a) {
  return static_cast<uint32_t>((v + a - 1) / a * a);
}

inline std::string MakeImage(const TImageSpec& spec) {
  const size_t optSize = spec.is64 ? 240 : 224;
  const size_t table = kOptAt + optSize;
  const uint32_t headers = AlignTo(table + 40 * spec.sections.size(), spec.fileAlignment);
  std::string out(headers, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 0x3C, kPeAt);
  out.replace(kPeAt, 4, std::string("PE\0\0", 4));
  Put16(out, kPeAt + 4, spec.is64 ? 0x8664 : 0x14C);
  Put16(out, kPeAt + 6, static_cast<uint32_t>(spec.sections.size()));
  Put16(out, kPeAt + 20, static_cast<uint32_t>(optSize));
  Put16(out, kPeAt + 22, 0x0102);
  Put16(out, kOptAt, spec.is64 ? 0x20B : 0x10B);
  Put32(out, kOptAt + 32, spec.sectionAlignment);
  Put32(out, kOptAt + 36, spec.fileAlignment);
  Put32(out, kOptAt + 60, headers);
  Put32(out, kOptAt + (spec.is64 ? 108 : 92), 16);
  const size_t dirs = kOptAt + (spec.is64 ? 112 : 96);
  uint32_t va = AlignTo(headers, spec.sectionAlignment);
  uint32_t initialised = 0;
  for (size_t i = 0; i < spec.sections.size(); ++i) {
    const TSectionSpec& s = spec.sections[i];
    const std::string data = s.tree ? WriteResourceSection(*s.tree, va) : s.data;
    const uint32_t raw = AlignTo(data.size(), spec.fileAlignment);
    const size_t h = table + 40 * i;
    out.replace(h, s.name.size(), s.name);
    Put32(out, h + 8, static_cast<uint32_t>(data.size()));
    Put32(out, h + 12, va);
    Put32(out, h + 16, raw);
    Put32(out, h + 20, static_cast<uint32_t>(out.size()));
    Put32(out, h + 36, s.characteristics);
    if (s.tree) {
      Put32(out, dirs + 8 * 2, va);
      Put32(out, dirs + 8 * 2 + 4, static_cast<uint32_t>(data.size()));
    }
    if (s.characteristics & 0x40)
      initialised += raw;
    out += data;
    out.resize(out.size() + raw - data.size(), '\0');
    va = AlignTo(static_cast<uint64_t>(va) + std::max<size_t>(data.size(), 1),
                 spec.sectionAlignment);
  }
  Put32(out, kOptAt + 8, initialised);
  Put32(out, kOptAt + 56, va);
  return out;
}
