#include "tools/DefaultArt.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/Bytes.h"
#include "common/Errors.h"

namespace {

struct TRgb {
  uint8_t r, g, b;
};

// The drawing, at any size: a soft vertical gradient from `top` to
// `bottom`, with a light square in the middle holding a triangle.
TRgb Pixel(int x, int y, int width, int height, TRgb top, TRgb bottom) {
  auto mix = [&](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a + (b - a) * y / (height > 1 ? height - 1 : 1));
  };
  TRgb c{mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)};
  const int side = width >= 100 ? width * 3 / 8 : width * 3 / 4;
  const int left = (width - side) / 2, upper = (height - side) / 2;
  const int dx = x - left, dy = y - upper;
  if (dx >= 0 && dy >= 0 && dx < side && dy < side) {
    c = {245, 247, 250};
    // The triangle: its apex at the top middle, its base along the bottom.
    const int margin = side / 5;
    const int ty = dy - margin, span = side - 2 * margin;
    if (ty >= 0 && ty < span && std::abs(2 * dx - side + 1) <= ty)
      c = top;
  }
  return c;
}

constexpr TRgb kBlueTop{39, 70, 112}, kBlueBottom{106, 146, 196};
constexpr TRgb kGreenTop{37, 92, 84}, kGreenBottom{104, 170, 150};

// A BITMAPINFOHEADER of a bottom-up image; `height` counts the mask of an
// icon image too.
std::string InfoHeader(int width, int height, int bits, uint32_t imageSize) {
  std::string s;
  PutU32(s, 40);
  PutU32(s, static_cast<uint32_t>(width));
  PutU32(s, static_cast<uint32_t>(height));
  PutU16(s, 1);
  PutU16(s, static_cast<uint32_t>(bits));
  PutU32(s, 0);  // uncompressed
  PutU32(s, imageSize);
  PutU32(s, 0);
  PutU32(s, 0);
  PutU32(s, 0);
  PutU32(s, 0);
  return s;
}

// An icon image: 32-bit pixels, opaque, then an AND mask of zeros.
std::string IconImage(int size) {
  const uint32_t maskRow = static_cast<uint32_t>((size + 31) / 32 * 4);
  std::string s =
      InfoHeader(size, 2 * size, 32, static_cast<uint32_t>(size * size * 4) + maskRow * size);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const TRgb c = Pixel(x, y, size, size, kBlueTop, kBlueBottom);
      s += static_cast<char>(c.b);
      s += static_cast<char>(c.g);
      s += static_cast<char>(c.r);
      s += static_cast<char>(0xFF);
    }
  }
  s.append(static_cast<size_t>(maskRow) * static_cast<size_t>(size), '\0');
  return s;
}

struct TJpegFailure {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(static_cast<TJpegFailure*>(static_cast<void*>(info->err))->jump, 1);
}

// Kept free of objects with destructors: libjpeg reports errors by longjmp.
// Returns false when the encoder fails; out then holds nothing to free.
bool EncodeJpeg(const uint8_t* rgb, int width, int height, unsigned char** out,
                unsigned long* size) {
  jpeg_compress_struct info;
  TJpegFailure failure;
  info.err = jpeg_std_error(&failure.mgr);
  failure.mgr.error_exit = OnJpegError;
  if (setjmp(failure.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);  // baseline, Huffman tables of the standard
  jpeg_set_quality(&info, 92, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<size_t>(info.next_scanline) *
                                                  static_cast<size_t>(width) * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

std::string DefaultBanner(bool chinese) {
  constexpr int kWidth = 160, kHeight = 308;
  std::vector<uint8_t> rgb;
  rgb.reserve(kWidth * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const TRgb c = chinese ? Pixel(x, y, kWidth, kHeight, kGreenTop, kGreenBottom)
                             : Pixel(x, y, kWidth, kHeight, kBlueTop, kBlueBottom);
      rgb.insert(rgb.end(), {c.r, c.g, c.b});
    }
  }
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const bool ok = EncodeJpeg(rgb.data(), kWidth, kHeight, &out, &size);
  std::string jpeg = ok && out != nullptr ? std::string(reinterpret_cast<char*>(out), size) : "";
  std::free(out);
  if (!ok)
    throw Error(u"the default banner cannot be encoded");
  return jpeg;
}

std::string DefaultHeaderPicture() {
  constexpr int kSize = 32;
  const uint32_t imageSize = kSize * kSize * 3;  // rows of 96 bytes, no padding
  std::string s = "BM";
  PutU32(s, 14 + 40 + imageSize);
  PutU32(s, 0);
  PutU32(s, 14 + 40);
  s += InfoHeader(kSize, kSize, 24, imageSize);
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; ++x) {
      const TRgb c = Pixel(x, y, kSize, kSize, kBlueTop, kBlueBottom);
      s += static_cast<char>(c.b);
      s += static_cast<char>(c.g);
      s += static_cast<char>(c.r);
    }
  }
  return s;
}

std::string DefaultIcon() {
  const std::string images[2] = {IconImage(16), IconImage(32)};
  std::string s;
  PutU16(s, 0);
  PutU16(s, 1);  // an icon
  PutU16(s, 2);
  uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    const int size = i == 0 ? 16 : 32;
    s += static_cast<char>(size);
    s += static_cast<char>(size);
    s += '\0';  // colours: none counted
    s += '\0';
    PutU16(s, 1);   // planes
    PutU16(s, 32);  // bits
    PutU32(s, static_cast<uint32_t>(images[i].size()));
    PutU32(s, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  return s + images[0] + images[1];
}
