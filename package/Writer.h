// Making packages: every file under a folder goes to the same relative folder
// of the destination; files under "$System$" at its top become system rows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/CodePage.h"
#include "fs/Errors.h"

constexpr int kDefaultPackLevel = 7;
constexpr int kMaxPackThreads = 16;

struct TPackOptions {
  uint32_t hash = 3;    // SHA-256
  uint32_t cipher = 5;  // AES
  std::u16string password;
  int trailer = 3;
  // libdeflate's level, 1 (the fastest) to 12 (the smallest).
  int level = kDefaultPackLevel;
  // Threads that compress pieces of the bodies (at most kMaxPackThreads,
  // and 4 at levels 10 to 12, whose compressors are large); the package is
  // the same byte for byte with any number.
  int threads = 1;
  const CodePage* codePage = &Cp1252();
  // Called with each file as it is packed (its path relative to the folder).
  std::function<void(const std::u16string&)> onFile;
  // The uninstaller program: when set, a copy of it with the list of the
  // package's rows appended (package/UninstallList.h) goes in as "Uninst.exe"
  // at the top of the destination, unless the folder has an "Uninst.exe" of
  // its own there, which is packed like any file and nothing is added.
  std::u16string uninstaller;
  // A finished uninstaller, carrying its list already (what
  // MakeUninstallerFor gives, signed perhaps): when set it goes in as it is,
  // in place of `uninstaller` with a list, on the same terms.
  std::u16string finishedUninstaller;
  // The envelope's salt (8 letters or digits) and vector (one block of them;
  // none for RC4). Empty: random, unless seed is set, which derives both from
  // itself and the index, so that the same input gives the same package.
  std::u16string salt;
  std::u16string iv;
  std::u16string seed;
  // Whether the package written is read back and checked before it takes its
  // name (off only to make packages that readers must refuse, for tests).
  bool verify = true;
};

struct TPackResult {
  int files = 0;
  int64_t unpacked = 0;
  int64_t packageSize = 0;
  bool uninstallerAdded = false;
};

// Whether the folder has its own "Uninst.exe" at its top (letter case ignored).
bool HasOwnUninstaller(std::u16string_view dir);

// The uninstaller that PackDirectory would add for dir: the program with the
// list of dir's rows and its own. Written to dir's top as "Uninst.exe" (and
// signed there, say), it is packed as it is. Raises Error for a signed
// program, to which no list can be added without breaking the signature.
std::string MakeUninstallerFor(std::u16string_view dir, const std::u16string& program);

// Raises Error naming the file on any failure (FileError for a missing
// uninstaller program); the package is written under a
// temporary name and renamed into place only when complete.
TPackResult PackDirectory(std::u16string_view dir, std::u16string_view packagePath,
                          const TPackOptions& options);

// Index text of rows (folder, name, stored, unpacked): names are escaped as
// the converted column 1 wants. Raises Error for a folder holding "," or "|".
struct TIndexRow {
  std::u16string folder;
  std::u16string name;
  int32_t stored = 0;
  int32_t unpacked = 0;
};
std::u16string MakeIndexText(const std::vector<TIndexRow>& rows);

// Writes a complete package: bodies (already compressed), the envelope of the
// index, its length and the trailer.
std::string AssemblePackage(const std::string& bodies, const std::u16string& indexText,
                            const TPackOptions& options);

// n letters and digits that depend on seed alone.
std::u16string DerivedPrintable(std::u16string_view seed, size_t n);

// Whether text is n letters or digits, as a salt or vector must be.
bool IsPrintableKeyText(std::u16string_view text, size_t n);

// The vector size in characters of a cipher: its block size in bytes, 0 for
// RC4. Raises Error for an unknown cipher.
size_t VectorSize(uint32_t cipher);
