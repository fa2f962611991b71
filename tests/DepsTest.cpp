// Each third-party library does real work in this build: a Crypto++ digest
// and cipher, a zlib round trip and a JPEG round trip through libjpeg.
#include <cstdio>
#include <string>
#include <vector>

#include <cryptopp/aes.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

namespace {

std::string Hex(const CryptoPP::byte* data, size_t size) {
  std::string out;
  CryptoPP::HexEncoder enc(new CryptoPP::StringSink(out), false);
  enc.Put(data, size);
  enc.MessageEnd();
  return out;
}

}  // namespace

TEST(Deps, CryptoppDigestAndCipher) {
  const std::string msg = "abc";
  CryptoPP::byte digest[CryptoPP::SHA256::DIGESTSIZE];
  CryptoPP::SHA256().CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(msg.data()),
                                     msg.size());
  EXPECT_EQ(Hex(digest, sizeof digest),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  // FIPS-197 appendix C.1.
  CryptoPP::byte key[16], plain[16], out[16];
  for (int i = 0; i < 16; ++i) {
    key[i] = static_cast<CryptoPP::byte>(i);
    plain[i] = static_cast<CryptoPP::byte>(i * 0x11);
  }
  CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption aes(key, sizeof key);
  aes.ProcessData(out, plain, sizeof plain);
  EXPECT_EQ(Hex(out, sizeof out), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST(Deps, ZlibRoundTrip) {
  std::string text;
  for (int i = 0; i < 1000; ++i)
    text += "setup package body " + std::to_string(i) + "\n";
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  std::vector<Bytef> packed(packedSize);
  ASSERT_EQ(compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 9),
            Z_OK);
  EXPECT_EQ(packed[0], 0x78);
  EXPECT_EQ(packed[1], 0xDA);
  EXPECT_LT(packedSize, text.size() / 4);

  std::vector<Bytef> unpacked(text.size());
  uLongf unpackedSize = static_cast<uLongf>(unpacked.size());
  ASSERT_EQ(uncompress(unpacked.data(), &unpackedSize, packed.data(), packedSize), Z_OK);
  EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), text);
}

TEST(Deps, JpegRoundTrip) {
  const int width = 16, height = 8;
  std::vector<unsigned char> pixels(width * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &pixels[(y * width + x) * 3];
      p[0] = 200;
      p[1] = static_cast<unsigned char>(x * 16);
      p[2] = 40;
    }
  }

  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &jpeg, &jpegSize);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = &pixels[c.next_scanline * width * 3];
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
  }
  ASSERT_NE(jpeg, nullptr);
  ASSERT_GT(jpegSize, 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg, jpegSize);
  ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&d);
  EXPECT_EQ(d.output_width, static_cast<JDIMENSION>(width));
  EXPECT_EQ(d.output_height, static_cast<JDIMENSION>(height));
  EXPECT_EQ(d.output_components, 3);
  std::vector<unsigned char> decoded(width * height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &decoded[d.output_scanline * width * 3];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  free(jpeg);

  // Lossy, but close: the red channel was flat at 200.
  for (int i = 0; i < width * height; ++i) {
    EXPECT_NEAR(decoded[i * 3], 200, 12) << "pixel " << i;
  }
}
