// The index envelope: the reference envelopes, the selector and key rules,
// and the failures that give empty text.
#include <gtest/gtest.h>

#include <sstream>

#include "EnvelopeData.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "package/NvCrypUtils.h"

namespace {

struct Vector {
  int hash;
  int cipher;
  std::u16string password;
  std::u16string plain;
  std::u16string envelope;
};

std::vector<Vector> LoadVectors() {
  std::vector<Vector> out;
  std::istringstream in(kEnvelopesTsv);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (line.empty())
      continue;
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
      const size_t tab = line.find('\t', start);
      f.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos)
        break;
      start = tab + 1;
    }
    if (f.size() != 5)
      continue;
    out.push_back(
        {std::stoi(f[0]), std::stoi(f[1]), FromUtf8(f[2]), FromUtf8(f[3]), FromUtf8(f[4])});
  }
  return out;
}

const std::u16string kSalt = u"Qx7LmPz3";

}  // namespace

TEST(Envelope, EveryReferenceEnvelopeOpens) {
  const auto vectors = LoadVectors();
  ASSERT_EQ(vectors.size(), 90u);
  int seen[5][9] = {};
  for (const auto& v : vectors) {
    EXPECT_EQ(DecryptText(v.envelope, v.password, Cp1252()), v.plain)
        << "hash " << HashName(v.hash) << " cipher " << CipherName(v.cipher);
    ++seen[v.hash][v.cipher];
  }
  for (auto& row : seen) {
    for (int n : row)
      EXPECT_GE(n, 1);
  }
}

TEST(Envelope, AWrongPasswordGivesOtherTextAndNoFailure) {
  for (const auto& v : LoadVectors()) {
    if (v.password.empty())
      continue;
    const std::u16string wrong = DecryptText(v.envelope, u"wrong", Cp1252());
    EXPECT_NE(wrong, v.plain);
    EXPECT_EQ(wrong.size(), v.plain.size());
  }
}

TEST(Envelope, RoundTripForEveryPair) {
  const std::u16string plain = u"#P,1#$System$,a.dll,10,20|bin\\,诺凡\x1A画图.exe,7,7,-1";
  for (uint32_t h = 0; h < 5; ++h) {
    for (uint32_t c = 0; c < 9; ++c) {
      const auto cipher = CreateCipherBySelector(c);
      const std::u16string iv =
          std::u16string(u"0123456789abcdef")
              .substr(0, cipher->IsBlockCipher() ? cipher->BlockSize() / 8 : 0);
      const std::u16string env = EncryptText(plain, u"pw", h, c, kSalt, iv, Cp1252());
      EXPECT_EQ(DecryptText(env, u"pw", Cp1252()), plain) << h << "/" << c;
      EXPECT_NE(DecryptText(env, u"", Cp1252()), plain) << h << "/" << c;
    }
  }
}

TEST(Envelope, KeyLengths) {
  struct Case {
    uint32_t hash, cipher;
    int keyBits;
  } cases[] = {
      {2, 5, 160}, {2, 7, 160}, {2, 4, 160}, {1, 4, 128}, {4, 0, 448},
      {4, 6, 512}, {0, 3, 64},  {3, 2, 256}, {1, 8, 128}, {4, 1, 128},
  };
  for (const auto& c : cases) {
    const auto h = CreateHashBySelector(c.hash);
    const auto k = CreateCipherBySelector(c.cipher);
    EXPECT_EQ(std::min(h->DigestSize(), k->MaxKeySize()), c.keyBits) << c.hash << "/" << c.cipher;
  }
}

TEST(Envelope, TwoKeyTripleDesIsThreeKeyWithTheFirstKeyRepeated) {
  const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  uint8_t key3[24];
  std::copy(key, key + 16, key3);
  std::copy(key, key + 8, key3 + 16);
  const uint8_t iv[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  auto two = CreateCipherBySelector(4);
  auto three = CreateCipherBySelector(4);
  two->Init(key, 128, iv);
  three->Init(key3, 192, iv);
  uint8_t a[20] = {}, b[20] = {};
  two->Encrypt(a, sizeof a);
  three->Encrypt(b, sizeof b);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 20), std::vector<uint8_t>(b, b + 20));
}

TEST(Envelope, SelectorsUseTheirLowSevenBits) {
  EXPECT_EQ(CreateHashBySelector(128 + 3)->DigestSize(), 256);
  EXPECT_EQ(CreateCipherBySelector(128 + 6)->IsBlockCipher(), false);
  EXPECT_EQ(CreateHashBySelector(5), nullptr);
  EXPECT_EQ(CreateCipherBySelector(9), nullptr);
}

TEST(Envelope, MalformedEnvelopesGiveEmptyText) {
  const std::u16string good =
      EncryptText(u"hello", u"", 3, 5, kSalt, u"ABCDEFGHIJKLMNOP", Cp1252());
  ASSERT_EQ(DecryptText(good, u"", Cp1252()), u"hello");

  EXPECT_EQ(DecryptText(u"", u"", Cp1252()), u"");
  EXPECT_EQ(DecryptText(good.substr(0, 10), u"", Cp1252()), u"");
  // Selectors below their base, or past the tables.
  for (int pos : {3, 4}) {
    for (int delta : {-1, 9, 5}) {
      std::u16string t = good;
      t[static_cast<size_t>(pos == 3 ? 8 : 9)] = static_cast<char16_t>(t[pos] - delta);
      if (pos == 4 && delta == 5) {
        EXPECT_EQ(DecryptText(t, u"", Cp1252()), u"") << "hash 5";
      } else if (delta != 5) {
        EXPECT_EQ(DecryptText(t, u"", Cp1252()), u"") << pos << " " << delta;
      }
    }
  }
  // An incomplete vector; a complete vector and no ciphertext.
  EXPECT_EQ(DecryptText(good.substr(0, 20), u"", Cp1252()), u"");
  EXPECT_EQ(DecryptText(good.substr(0, 26), u"", Cp1252()), u"");
  // A vector character that narrows to two bytes (code page 936 only).
  // Under 1252 it narrows to "?" and the vector stays 16 bytes long.
  std::u16string wide = good;
  wide[12] = u'诺';
  EXPECT_NE(DecryptText(wide, u"", Cp1252()), u"");
  // Characters outside the Base64 alphabet.
  EXPECT_EQ(DecryptText(good.substr(0, 26) + u"AA*A", u"", Cp1252()), u"");
}

TEST(Envelope, Rc4TakesNoVector) {
  for (uint32_t h = 0; h < 5; ++h) {
    const std::u16string env = EncryptText(u"rc4 text", u"", h, 6, kSalt, u"", Cp1252());
    EXPECT_EQ(env.size(),
              10 + EncodeBase64(reinterpret_cast<const uint8_t*>(u"rc4 text"), 16).size());
    EXPECT_EQ(DecryptText(env, u"", Cp1252()), u"rc4 text");
  }
}

TEST(Envelope, OddAndShortCiphertexts) {
  // One decoded byte (too few) and three (the last dropped).
  const std::u16string head = EncryptText(u"ab", u"", 3, 6, kSalt, u"", Cp1252()).substr(0, 10);
  EXPECT_EQ(DecryptText(head + u"QQ==", u"", Cp1252()), u"");
  EXPECT_EQ(DecryptText(head + u"QUJD", u"", Cp1252()).size(), 1u);
  // Characters after the last whole group are ignored.
  const std::u16string env = EncryptText(u"abc", u"", 3, 6, kSalt, u"", Cp1252());
  EXPECT_EQ(DecryptText(env + u"QU", u"", Cp1252()), u"abc");
}

TEST(Base64, GroupsAndPadding) {
  std::vector<uint8_t> out;
  ASSERT_TRUE(DecodeBase64(u"TWFu", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "Man");
  ASSERT_TRUE(DecodeBase64(u"TWE=", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "Ma");
  ASSERT_TRUE(DecodeBase64(u"TQ==TWFu", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "MMan");
  ASSERT_TRUE(DecodeBase64(u"TWFuTW", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "Man");
  EXPECT_FALSE(DecodeBase64(u"TW\nu", out));
  EXPECT_FALSE(DecodeBase64(u"=WFu", out));
  const uint8_t bytes[] = {0xFB, 0xFF, 0x00, 0x10};
  EXPECT_EQ(EncodeBase64(bytes, 4), u"+/8AEA==");
}

#ifndef _WIN32
TEST(Envelope, AVectorCharacterOfTwoBytesUnderCodePage936) {
  const auto gbk = CreateCodePage(936);
  const std::u16string good = EncryptText(u"hello", u"", 3, 5, kSalt, u"ABCDEFGHIJKLMNOP", *gbk);
  ASSERT_EQ(DecryptText(good, u"", *gbk), u"hello");
  std::u16string wide = good;
  wide[12] = u'诺';
  EXPECT_EQ(DecryptText(wide, u"", *gbk), u"");
}
#endif
