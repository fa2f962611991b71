// Inflating one 64 MiB body from memory, each way the extractor has: whole in
// one call, streamed by zlib and streamed by the fast inflater, on text-like
// bytes and on random ones (which zlib stores). Prints MB/s of unpacked
// bytes, the best of three; asserts nothing.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "package/Inflate.h"
#include "package/InflateFast.h"

namespace {

constexpr size_t kSize = 64 << 20;

// Words of a few thousand, the common ones more often, in lines: packs about
// 3 to 1, like the benchmark payload's text-like files.
std::string TextLike(std::mt19937& rng) {
  std::vector<std::string> words(5000);
  for (std::string& w : words) {
    const int letters = std::uniform_int_distribution<int>(8, 26)(rng);
    w.resize(std::uniform_int_distribution<size_t>(2, 10)(rng));
    for (char& c : w)
      c = "etaoinshrdlcumwfgypbvkjxqz"[std::uniform_int_distribution<int>(0, letters - 1)(rng)];
  }
  std::vector<double> weights(words.size());
  for (size_t i = 0; i < weights.size(); ++i)
    weights[i] = 1.0 / static_cast<double>(i + 1);
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  std::bernoulli_distribution newline(0.1);
  std::string text;
  text.reserve(kSize + 16);
  while (text.size() < kSize)
    text += words[pick(rng)] + (newline(rng) ? '\n' : ' ');
  text.resize(kSize);
  return text;
}

std::string Random(std::mt19937& rng) {
  std::string bytes(kSize, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng());
  return bytes;
}

std::string Pack(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string body(size, '\0');
  compress2(reinterpret_cast<Bytef*>(body.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 6);
  body.resize(size);
  return body;
}

TInflateInput FromMemory(const std::string& body, size_t& at) {
  return [&body, &at](uint8_t* buffer, size_t room) {
    const size_t n = std::min(room, body.size() - at);
    std::memcpy(buffer, body.data() + at, n);
    at += n;
    return n;
  };
}

// The best of three runs of way, in MB/s of unpacked bytes.
double Speed(const std::function<void()>& way) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    way();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return static_cast<double>(kSize) / best / 1e6;
}

}  // namespace

int main() {
  std::mt19937 rng(1);
  const auto out = std::make_unique_for_overwrite<uint8_t[]>(kSize);
  const TInflateOutput nowhere = [](const uint8_t*, size_t) {};
  std::printf("%-12s %10s %14s %14s %14s\n", "bytes", "packed", "whole MB/s", "zlib MB/s",
              HaveFastInflater() ? "fast MB/s" : "fast (none)");
  for (const bool text : {true, false}) {
    const std::string data = text ? TextLike(rng) : Random(rng);
    const std::string body = Pack(data);
    const auto* in = reinterpret_cast<const uint8_t*>(body.data());
    TBodyInflater inflater;
    const double whole = Speed([&] { inflater.InflateWhole(in, body.size(), out.get(), kSize); });
    if (std::memcmp(out.get(), data.data(), kSize) != 0)
      return 1;
    const double zlib = Speed([&] {
      size_t at = 0;
      InflateStream(FromMemory(body, at), kSize, nowhere);
    });
    const double fast = Speed([&] {
      size_t at = 0;
      InflateStreamFast(
          FromMemory(body, at), [&] { at = 0; }, kSize, nowhere);
    });
    std::printf("%-12s %10zu %14.0f %14.0f %14.0f\n", text ? "text-like" : "random", body.size(),
                whole, zlib, fast);
  }
  return 0;
}
