// Registry values: keys made, text and number values written, text values
// read. Probes return absence values (empty text, false); failures that the
// callers must hear of raise RegistryError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/Errors.h"

// An open registry key, closed when it goes.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY* Out() {
    Close();
    return &key_;
  }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void Close() {
    if (key_ != nullptr)
      RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// Creates every missing level of KeyPath below RootKey (a leading "\" is
// dropped). Raises RegistryError "Failed to create key %s".
bool RegCreateKeyPath(HKEY RootKey, const std::u16string& KeyPath);
// Writes a REG_SZ value, creating the key; false when the key cannot be
// opened or created. Raises RegistryError "Failed to set data for '%s'".
bool RegWriteText(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                  const std::u16string& Value);
// The same for a REG_DWORD value.
bool RegWriteNumber(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                    uint32_t Value);

// A text value as read, and how the reading went.
struct TRegText {
  enum class Status {
    kRead,     // text holds the value
    kAbsent,   // the key cannot be opened, or the value is absent or empty
    kFailed,   // the value is there but could not be read
    kNotText,  // the value is neither REG_SZ nor REG_EXPAND_SZ
  };
  Status status = Status::kAbsent;
  std::u16string text;
};
// A REG_SZ or REG_EXPAND_SZ value (unexpanded) of KeyPath (a leading "\" is
// dropped; empty: RootKey itself) below RootKey, opened with access alone.
// An empty ValueName is the key's default value.
TRegText RegQueryText(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                      REGSAM access);
// The same opened with full access; empty when the key or value is absent.
// Raises RegistryError "Failed to get data for '%s'" or "Invalid data type
// for '%s'".
std::u16string RegReadText(HKEY RootKey, const std::u16string& KeyPath,
                           const std::u16string& ValueName);
