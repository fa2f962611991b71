// NvCrypUtils: the envelope that keeps a package's index enciphered.
//
// An envelope is UTF-16 text:
//   1-8     salt, hashed in front of the password to make the key
//   9       cipher selector base: cipher = unit 4 - unit 9 (0-8)
//   10      hash selector base:   hash   = unit 5 - unit 10 (0-4)
//   11..    for block ciphers the initialisation vector (block size units,
//           narrowed with the ANSI code page), then Base64 ciphertext of the
//           UTF-16LE plain text, deciphered in CFB mode with 8-bit feedback;
//           for RC4 the ciphertext starts at 11.
// The key is the first K/8 bytes of the digest, K = the smaller of the
// cipher's maximum key size and the digest size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/CodePage.h"

class THash {
 public:
  virtual ~THash() = default;
  virtual int DigestSize() const = 0;  // bits
  virtual void Init() = 0;
  virtual void Update(const uint8_t* data, size_t size) = 0;
  virtual void Final(uint8_t* digest) = 0;  // DigestSize() / 8 bytes
};

class TCipher {
 public:
  virtual ~TCipher() = default;
  virtual int MaxKeySize() const = 0;  // bits
  virtual bool IsBlockCipher() const = 0;
  virtual int BlockSize() const = 0;  // bits; 0 for a stream cipher
  // Keys the cipher with keyBits / 8 bytes of key and, for a block cipher,
  // BlockSize() / 8 bytes of vector.
  virtual void Init(const uint8_t* key, int keyBits, const uint8_t* iv) = 0;
  virtual void Decrypt(uint8_t* data, size_t size) = 0;  // in place
  virtual void Encrypt(uint8_t* data, size_t size) = 0;  // in place
  // Wipes the key schedule and the chaining state.
  virtual void Burn() = 0;
};

// Selectors use their low seven bits; nullptr outside the tables.
std::unique_ptr<THash> CreateHashBySelector(uint32_t selector);
std::unique_ptr<TCipher> CreateCipherBySelector(uint32_t selector);

// Opens an envelope; empty text on any failure. Never raises.
std::u16string DecryptText(std::u16string_view sText, std::u16string_view sKey,
                           const CodePage& codePage);

// Makes an envelope of sText. salt is 8 units and iv the cipher's block size
// in units (empty for RC4); both should be printable ASCII so that they read
// the same under every code page. Raises Error on a bad selector or sizes.
std::u16string EncryptText(std::u16string_view sText, std::u16string_view sKey, uint32_t hash,
                           uint32_t cipher, std::u16string_view salt, std::u16string_view iv,
                           const CodePage& codePage);

// Base64 as the envelope uses it: whole groups of four, "=" ends a group.
// Returns false on a character outside the alphabet.
bool DecodeBase64(std::u16string_view text, std::vector<uint8_t>& out);
std::u16string EncodeBase64(const uint8_t* data, size_t size);

// Names for the tools: "haval", "md5", "sha1", "sha256", "sha512" and
// "blowfish", "cast128", "cast256", "des", "3des", "aes", "rc4", "twofish",
// "idea". -1 for an unknown name.
int HashSelectorByName(std::string_view name);
int CipherSelectorByName(std::string_view name);
const char* HashName(uint32_t selector);
const char* CipherName(uint32_t selector);
