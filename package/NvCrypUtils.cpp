#include "package/NvCrypUtils.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/aes.h>
#include <cryptopp/algparam.h>
#include <cryptopp/arc4.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/cast.h>
#include <cryptopp/des.h>
#include <cryptopp/idea.h>
#include <cryptopp/md5.h>
#include <cryptopp/sha.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "package/Haval.h"

#ifdef _WIN32
// The library's base classes name key lengths in their error messages
// through this one function, which the library keeps beside its big-integer
// code; that would bring in all its public-key code too. A Windows program
// of this project links the library statically, so the function is given
// here and the rest stays out.
template <>
std::string CryptoPP::IntToString<CryptoPP::word64>(CryptoPP::word64 value, unsigned int base) {
  if (base < 2 || base > 36)
    base = 10;
  std::string digits;
  do {
    const unsigned d = static_cast<unsigned>(value % base);
    digits.insert(digits.begin(), static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10));
    value /= base;
  } while (value != 0);
  return digits;
}
// Likewise the parameter holders the base classes use, which the library
// instantiates in the same object as its public-key code.
// An int parameter is never read as a big integer here.
bool CryptoPP::AssignIntToInteger(const std::type_info&, void*, const void*) {
  return false;
}
template class CryptoPP::AlgorithmParametersTemplate<int>;
template class CryptoPP::AlgorithmParametersTemplate<CryptoPP::ConstByteArrayParameter>;
#endif

namespace {

// ---------------------------------------------------------------------------
// Hashes

class HavalHash final : public THash {
 public:
  int DigestSize() const override { return 256; }
  void Init() override { h_.Init(); }
  void Update(const uint8_t* data, size_t size) override { h_.Update(data, size); }
  void Final(uint8_t* digest) override { h_.Final(digest); }

 private:
  Haval256 h_;
};

template <typename T>
class CryptoppHash final : public THash {
 public:
  int DigestSize() const override { return static_cast<int>(T::DIGESTSIZE * 8); }
  void Init() override { h_.Restart(); }
  void Update(const uint8_t* data, size_t size) override { h_.Update(data, size); }
  void Final(uint8_t* digest) override { h_.Final(digest); }

 private:
  T h_;
};

// ---------------------------------------------------------------------------
// Ciphers

struct CipherInfo {
  const char* name;
  int maxKeyBits;
  int blockBits;  // 0: stream cipher
};

constexpr CipherInfo kCiphers[9] = {
    {"blowfish", 448, 64}, {"cast128", 128, 64},  {"cast256", 256, 128},
    {"des", 64, 64},       {"3des", 192, 64},     {"aes", 256, 128},
    {"rc4", 2048, 0},      {"twofish", 256, 128}, {"idea", 128, 64},
};

constexpr const char* kHashNames[5] = {"haval", "md5", "sha1", "sha256", "sha512"};

// The key bytes padded with zeros to `size`.
CryptoPP::SecByteBlock Padded(const uint8_t* key, size_t keyBytes, size_t size) {
  CryptoPP::SecByteBlock out(size);
  std::memset(out.data(), 0, size);
  std::memcpy(out.data(), key, std::min(keyBytes, size));
  return out;
}

size_t NextOf(size_t n, std::initializer_list<size_t> sizes) {
  for (size_t s : sizes) {
    if (n <= s)
      return s;
  }
  return *(sizes.end() - 1);
}

// CFB mode with 8-bit feedback over a block cipher's forward direction (the
// same for both directions). Written out here rather than taken from the
// library's mode templates, which live in the object that also holds its
// public-key code, a megabyte a setup program has no use for.
template <typename E>
class Cfb8 {
 public:
  Cfb8(const uint8_t* key, size_t keyBytes, const uint8_t* iv)
      : cipher_(key, keyBytes), register_(iv, cipher_.BlockSize()), out_(cipher_.BlockSize()) {}
  void Process(uint8_t* data, size_t size, bool decrypt) {
    const size_t n = register_.size();
    for (size_t i = 0; i < size; ++i) {
      cipher_.ProcessBlock(register_.data(), out_.data());
      const uint8_t in = data[i];
      data[i] = static_cast<uint8_t>(in ^ out_[0]);
      std::memmove(register_.data(), register_.data() + 1, n - 1);
      register_[n - 1] = decrypt ? in : data[i];
    }
  }

 private:
  E cipher_;  // the library wipes its key schedule when it goes
  CryptoPP::SecByteBlock register_, out_;
};

// A block cipher in CFB mode with 8-bit feedback; enciphering and
// deciphering keep registers of their own.
template <typename T>
class CfbCipher final : public TCipher {
 public:
  using KeyRule = CryptoPP::SecByteBlock (*)(const uint8_t*, size_t);
  CfbCipher(int selector, KeyRule rule) : info_(kCiphers[selector]), rule_(rule) {}

  int MaxKeySize() const override { return info_.maxKeyBits; }
  bool IsBlockCipher() const override { return true; }
  int BlockSize() const override { return info_.blockBits; }

  void Init(const uint8_t* key, int keyBits, const uint8_t* iv) override {
    const CryptoPP::SecByteBlock k = rule_(key, static_cast<size_t>(keyBits) / 8);
    dec_ = std::make_unique<Cfb8<typename T::Encryption>>(k.data(), k.size(), iv);
    enc_ = std::make_unique<Cfb8<typename T::Encryption>>(k.data(), k.size(), iv);
  }
  void Decrypt(uint8_t* data, size_t size) override {
    if (!dec_)
      throw Error(u"cipher used before it was keyed");
    dec_->Process(data, size, true);
  }
  void Encrypt(uint8_t* data, size_t size) override {
    if (!enc_)
      throw Error(u"cipher used before it was keyed");
    enc_->Process(data, size, false);
  }
  void Burn() override {
    dec_.reset();
    enc_.reset();
  }

 private:
  CipherInfo info_;
  KeyRule rule_;
  std::unique_ptr<Cfb8<typename T::Encryption>> dec_;
  std::unique_ptr<Cfb8<typename T::Encryption>> enc_;
};

// Triple DES: two-key up to 128 key bits, else three keys from 24 padded bytes.
class TripleDesCipher final : public TCipher {
 public:
  int MaxKeySize() const override { return 192; }
  bool IsBlockCipher() const override { return true; }
  int BlockSize() const override { return 64; }
  void Init(const uint8_t* key, int keyBits, const uint8_t* iv) override {
    Burn();
    const size_t n = static_cast<size_t>(keyBits) / 8;
    const CryptoPP::SecByteBlock k = Padded(key, n, 24);
    if (keyBits <= 128) {
      dec2_ = std::make_unique<Cfb8<CryptoPP::DES_EDE2::Encryption>>(k.data(), 16, iv);
      enc2_ = std::make_unique<Cfb8<CryptoPP::DES_EDE2::Encryption>>(k.data(), 16, iv);
    } else {
      dec3_ = std::make_unique<Cfb8<CryptoPP::DES_EDE3::Encryption>>(k.data(), 24, iv);
      enc3_ = std::make_unique<Cfb8<CryptoPP::DES_EDE3::Encryption>>(k.data(), 24, iv);
    }
  }
  void Decrypt(uint8_t* data, size_t size) override {
    if (dec2_) {
      dec2_->Process(data, size, true);
    } else if (dec3_) {
      dec3_->Process(data, size, true);
    } else {
      throw Error(u"cipher used before it was keyed");
    }
  }
  void Encrypt(uint8_t* data, size_t size) override {
    if (enc2_) {
      enc2_->Process(data, size, false);
    } else if (enc3_) {
      enc3_->Process(data, size, false);
    } else {
      throw Error(u"cipher used before it was keyed");
    }
  }
  void Burn() override {
    dec2_.reset();
    enc2_.reset();
    dec3_.reset();
    enc3_.reset();
  }

 private:
  std::unique_ptr<Cfb8<CryptoPP::DES_EDE2::Encryption>> dec2_, enc2_;
  std::unique_ptr<Cfb8<CryptoPP::DES_EDE3::Encryption>> dec3_, enc3_;
};

// RC4 from its first keystream byte; deciphering and enciphering are the same.
class Rc4Cipher final : public TCipher {
 public:
  int MaxKeySize() const override { return 2048; }
  bool IsBlockCipher() const override { return false; }
  int BlockSize() const override { return 0; }
  void Init(const uint8_t* key, int keyBits, const uint8_t*) override {
    rc4_ = std::make_unique<CryptoPP::Weak::ARC4>(key, static_cast<size_t>(keyBits) / 8);
  }
  void Decrypt(uint8_t* data, size_t size) override {
    if (!rc4_)
      throw Error(u"cipher used before it was keyed");
    rc4_->ProcessData(data, data, size);
  }
  void Encrypt(uint8_t* data, size_t size) override { Decrypt(data, size); }
  void Burn() override { rc4_.reset(); }

 private:
  std::unique_ptr<CryptoPP::Weak::ARC4> rc4_;
};

CryptoPP::SecByteBlock AsIs(const uint8_t* key, size_t n) {
  return CryptoPP::SecByteBlock(key, n);
}
CryptoPP::SecByteBlock Cast256Key(const uint8_t* key, size_t n) {
  return Padded(key, n, 32);
}
CryptoPP::SecByteBlock AesKey(const uint8_t* key, size_t n) {
  return Padded(key, n, NextOf(n, {16, 24, 32}));
}

int BaseValue(char16_t c) {
  if (c >= u'A' && c <= u'Z')
    return c - u'A';
  if (c >= u'a' && c <= u'z')
    return c - u'a' + 26;
  if (c >= u'0' && c <= u'9')
    return c - u'0' + 52;
  if (c == u'+')
    return 62;
  if (c == u'/')
    return 63;
  return -1;
}

}  // namespace

std::unique_ptr<THash> CreateHashBySelector(uint32_t selector) {
  switch (selector & 0x7F) {
    case 0:
      return std::make_unique<HavalHash>();
    case 1:
      return std::make_unique<CryptoppHash<CryptoPP::Weak::MD5>>();
    case 2:
      return std::make_unique<CryptoppHash<CryptoPP::SHA1>>();
    case 3:
      return std::make_unique<CryptoppHash<CryptoPP::SHA256>>();
    case 4:
      return std::make_unique<CryptoppHash<CryptoPP::SHA512>>();
    default:
      return nullptr;
  }
}

std::unique_ptr<TCipher> CreateCipherBySelector(uint32_t selector) {
  const int s = static_cast<int>(selector & 0x7F);
  switch (s) {
    case 0:
      return std::make_unique<CfbCipher<CryptoPP::Blowfish>>(s, AsIs);
    case 1:
      return std::make_unique<CfbCipher<CryptoPP::CAST128>>(s, AsIs);
    case 2:
      return std::make_unique<CfbCipher<CryptoPP::CAST256>>(s, Cast256Key);
    case 3:
      return std::make_unique<CfbCipher<CryptoPP::DES>>(s, AsIs);
    case 4:
      return std::make_unique<TripleDesCipher>();
    case 5:
      return std::make_unique<CfbCipher<CryptoPP::AES>>(s, AesKey);
    case 6:
      return std::make_unique<Rc4Cipher>();
    case 7:
      return std::make_unique<CfbCipher<CryptoPP::Twofish>>(s, AesKey);
    case 8:
      return std::make_unique<CfbCipher<CryptoPP::IDEA>>(s, AsIs);
    default:
      return nullptr;
  }
}

bool DecodeBase64(std::u16string_view text, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3);
  for (size_t g = 0; g + 4 <= text.size(); g += 4) {
    const char16_t* c = text.data() + g;
    const int a = BaseValue(c[0]);
    const int b = BaseValue(c[1]);
    if (a < 0 || b < 0)
      return false;
    out.push_back(static_cast<uint8_t>(a << 2 | b >> 4));
    if (c[2] == u'=')
      continue;
    const int d = BaseValue(c[2]);
    if (d < 0)
      return false;
    out.push_back(static_cast<uint8_t>((b & 0x0F) << 4 | d >> 2));
    if (c[3] == u'=')
      continue;
    const int e = BaseValue(c[3]);
    if (e < 0)
      return false;
    out.push_back(static_cast<uint8_t>((d & 0x03) << 6 | e));
  }
  return true;
}

std::u16string EncodeBase64(const uint8_t* data, size_t size) {
  static constexpr char16_t kAlphabet[] =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::u16string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t n = static_cast<uint32_t>(data[i]) << 16 |
                       (i + 1 < size ? static_cast<uint32_t>(data[i + 1]) << 8 : 0) |
                       (i + 2 < size ? data[i + 2] : 0);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(n >> 6) & 63] : u'=';
    out += i + 2 < size ? kAlphabet[n & 63] : u'=';
  }
  return out;
}

namespace {

// The digest of the salt and password as UTF-16LE bytes.
std::vector<uint8_t> KeyDigest(THash& hash, std::u16string_view salt, std::u16string_view key) {
  std::vector<uint8_t> input;
  input.reserve((salt.size() + key.size()) * 2);
  for (auto part : {salt, key}) {
    for (char16_t c : part) {
      input.push_back(static_cast<uint8_t>(c & 0xFF));
      input.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  std::vector<uint8_t> digest(static_cast<size_t>(hash.DigestSize()) / 8);
  hash.Init();
  hash.Update(input.data(), input.size());
  hash.Final(digest.data());
  CryptoPP::SecureWipeBuffer(input.data(), input.size());
  return digest;
}

}  // namespace

std::u16string DecryptText(std::u16string_view sText, std::u16string_view sKey,
                           const CodePage& codePage) {
  try {
    if (sText.size() < 11)
      return {};
    const uint32_t h = static_cast<uint32_t>(sText[4]) - static_cast<uint32_t>(sText[9]);
    const uint32_t c = static_cast<uint32_t>(sText[3]) - static_cast<uint32_t>(sText[8]);
    if (h > 4 || c > 8)
      return {};
    const auto hash = CreateHashBySelector(h);
    std::vector<uint8_t> digest = KeyDigest(*hash, sText.substr(0, 8), sKey);
    const auto cipher = CreateCipherBySelector(c);
    const int keyBits = std::min(cipher->MaxKeySize(), hash->DigestSize());

    size_t start = 10;
    if (cipher->IsBlockCipher()) {
      const size_t blockBytes = static_cast<size_t>(cipher->BlockSize()) / 8;
      const std::string iv = codePage.Narrow(sText.substr(10, blockBytes));
      if (iv.size() != blockBytes)
        return {};
      cipher->Init(digest.data(), keyBits, reinterpret_cast<const uint8_t*>(iv.data()));
      start += blockBytes;
    } else {
      cipher->Init(digest.data(), keyBits, nullptr);
    }
    CryptoPP::SecureWipeBuffer(digest.data(), digest.size());

    std::vector<uint8_t> bytes;
    if (!DecodeBase64(sText.substr(start), bytes)) {
      cipher->Burn();
      return {};
    }
    bytes.resize(bytes.size() / 2 * 2);
    cipher->Decrypt(bytes.data(), bytes.size());
    cipher->Burn();
    std::u16string result(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < result.size(); ++i)
      result[i] = static_cast<char16_t>(GetU16(bytes, 2 * i));
    CryptoPP::SecureWipeBuffer(bytes.data(), bytes.size());
    return result;
  } catch (...) {
    return {};
  }
}

std::u16string EncryptText(std::u16string_view sText, std::u16string_view sKey, uint32_t hash,
                           uint32_t cipherSel, std::u16string_view salt, std::u16string_view iv,
                           const CodePage& codePage) {
  auto h = CreateHashBySelector(hash);
  auto cipher = CreateCipherBySelector(cipherSel);
  if (!h || !cipher || hash > 4 || cipherSel > 8)
    throw Error(u"no such hash or cipher");
  if (salt.size() != 8)
    throw Error(u"the salt must be 8 characters");
  const size_t blockBytes =
      cipher->IsBlockCipher() ? static_cast<size_t>(cipher->BlockSize()) / 8 : 0;
  if (iv.size() != blockBytes)
    throw Error(u"the vector must be one block long");
  const std::string ivBytes = codePage.Narrow(iv);
  if (ivBytes.size() != blockBytes)
    throw Error(u"the vector must narrow to one byte a character");

  // Selector bases chosen so that units 4 and 5 of the salt give the selectors.
  std::u16string out(salt);
  if (out[3] < cipherSel || out[4] < hash)
    throw Error(u"salt characters 4 and 5 are too small");
  out += static_cast<char16_t>(out[3] - cipherSel);
  out += static_cast<char16_t>(out[4] - hash);
  out += iv;

  std::vector<uint8_t> digest = KeyDigest(*h, salt, sKey);
  const int keyBits = std::min(cipher->MaxKeySize(), h->DigestSize());
  cipher->Init(digest.data(), keyBits,
               blockBytes ? reinterpret_cast<const uint8_t*>(ivBytes.data()) : nullptr);
  CryptoPP::SecureWipeBuffer(digest.data(), digest.size());
  std::vector<uint8_t> bytes;
  bytes.reserve(sText.size() * 2);
  for (char16_t ch : sText)
    PutU16(bytes, ch);
  cipher->Encrypt(bytes.data(), bytes.size());
  cipher->Burn();
  out += EncodeBase64(bytes.data(), bytes.size());
  return out;
}

int HashSelectorByName(std::string_view name) {
  for (int i = 0; i < 5; ++i) {
    if (name == kHashNames[i])
      return i;
  }
  return -1;
}

int CipherSelectorByName(std::string_view name) {
  for (int i = 0; i < 9; ++i) {
    if (name == kCiphers[i].name)
      return i;
  }
  return -1;
}

const char* HashName(uint32_t selector) {
  return selector < 5 ? kHashNames[selector] : "?";
}
const char* CipherName(uint32_t selector) {
  return selector < 9 ? kCiphers[selector].name : "?";
}
