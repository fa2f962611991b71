// Setup.exe from the shipping stub: the stub is the setup program built
// without a product (no product strings, pictures or package), marked by the
// resource RCDATA "SETUPSTUB". Stamping puts a product's resources and its
// package into the stub's resource section, which the stub is linked to
// have last, and drops the mark.
#pragma once

#include <string>
#include <string_view>

#include "fs/Errors.h"
#include "fs/File.h"
#include "pe/ResourceTree.h"
#include "pe/VersionResource.h"
#include "tools/ProductSettings.h"

// What the stub's mark holds: the kit and the form of the stub.
inline constexpr char kStubMark[] = "Setup kit stub 1";
// The language of every product resource (Chinese, Simplified).
inline constexpr uint16_t kProductLanguage = 2052;

// The stub's resources, after checking that it is a stub this tool can
// stamp: a Windows program, unsigned, carrying the mark, whose resource
// section is its last. Raises Error saying which of these fails.
TResourceTree ReadStub(const std::string& stub);

// The two programs of a product that carry its version information.
enum class TStampedProgram { Setup, Uninstaller };

// A program's version information from the product's settings: the
// version text as file and product version, and a block in English (1033)
// and one in Chinese (2052), each with the company (by default the
// publisher's name the programs show in that language), the description
// (by default the product's name and what the program is), the version
// text, the copyright (left out when not given), the program's file name
// and the product's name in that language.
TVersionInfo ProgramVersionInfo(const TProductResources& product, TStampedProgram program);

// The uninstaller program with the product's version information in place
// of its own (the resource VERSION 1). Its resource section must be its
// last; raises Error saying why the program cannot take it.
std::string StampUninstaller(const std::string& program, const TProductResources& product);

// The package as the stamping needs it: its size and the PeWordSum of its
// bytes, which stay in its file until they are written.
struct TPackageExtent {
  uint64_t size = 0;
  uint64_t wordSum = 0;
};
TPackageExtent ExtentOf(std::string_view package);
// The same of a package file, read in pieces. Raises FileError.
TPackageExtent ExtentOfFile(const std::u16string& path);

// The setup program made: its file is the head, the package's bytes, then
// padding zero bytes. The package is never held with the program: it is
// written once, from its file, straight after the head.
struct TStampedSetup {
  std::string head;
  size_t padding = 0;
  // The whole file's bytes with that package, for small programs and tests.
  std::string Bytes(std::string_view package) const;
};

// The setup program: the stub with the product's strings (string table ids
// 1001-1012, language 2052), banners (RCDATA IMAGELEFT0, Chinese, and
// IMAGELEFT2, English), header picture (BITMAP IMAGEICON), icon (GROUP_ICON
// APPICON), version information (VERSION 1) and package (StpFile
// SETUPPACKAGE, its data last in the section), replacing whatever the stub
// held under those names; the section table, image size, initialised data
// size, resource directory and check sum follow. Raises Error as ReadStub.
TStampedSetup StampSetup(const std::string& stub, const TProductResources& product,
                         TPackageExtent package);

// Writes the setup program into an open file: the head, the package copied
// piece by piece from its file (which must still have `extent`), the
// padding. Raises FileError.
void WriteSetup(OutFile& file, const TStampedSetup& setup, const std::u16string& package,
                const TPackageExtent& extent);
