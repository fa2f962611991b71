// Programs made in memory for the tests: a PE header of either kind with the
// alignments asked for, and sections laid out one after the other; the one
// with a resource tree is named by the resource directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/Bytes.h"
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
  SetU32(out, 0x3C, kPeAt);
  out.replace(kPeAt, 4, std::string("PE\0\0", 4));
  SetU16(out, kPeAt + 4, spec.is64 ? 0x8664 : 0x14C);
  SetU16(out, kPeAt + 6, static_cast<uint32_t>(spec.sections.size()));
  SetU16(out, kPeAt + 20, static_cast<uint32_t>(optSize));
  SetU16(out, kPeAt + 22, 0x0102);
  SetU16(out, kOptAt, spec.is64 ? 0x20B : 0x10B);
  SetU32(out, kOptAt + 32, spec.sectionAlignment);
  SetU32(out, kOptAt + 36, spec.fileAlignment);
  SetU32(out, kOptAt + 60, headers);
  SetU32(out, kOptAt + (spec.is64 ? 108 : 92), 16);
  const size_t dirs = kOptAt + (spec.is64 ? 112 : 96);
  uint32_t va = AlignTo(headers, spec.sectionAlignment);
  uint32_t initialised = 0;
  for (size_t i = 0; i < spec.sections.size(); ++i) {
    const TSectionSpec& s = spec.sections[i];
    const std::string data = s.tree ? WriteResourceSection(*s.tree, va) : s.data;
    const uint32_t raw = AlignTo(data.size(), spec.fileAlignment);
    const size_t h = table + 40 * i;
    out.replace(h, s.name.size(), s.name);
    SetU32(out, h + 8, static_cast<uint32_t>(data.size()));
    SetU32(out, h + 12, va);
    SetU32(out, h + 16, raw);
    SetU32(out, h + 20, static_cast<uint32_t>(out.size()));
    SetU32(out, h + 36, s.characteristics);
    if (s.tree) {
      SetU32(out, dirs + 8 * 2, va);
      SetU32(out, dirs + 8 * 2 + 4, static_cast<uint32_t>(data.size()));
    }
    if (s.characteristics & 0x40)
      initialised += raw;
    out += data;
    out.resize(out.size() + raw - data.size(), '\0');
    va = AlignTo(static_cast<uint64_t>(va) + std::max<size_t>(data.size(), 1),
                 spec.sectionAlignment);
  }
  SetU32(out, kOptAt + 8, initialised);
  SetU32(out, kOptAt + 56, va);
  return out;
}
