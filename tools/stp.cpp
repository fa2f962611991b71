// stp: make, list and unpack setup packages.
//
//   stp list PACKAGE [--password TEXT] [--code-page N]
//   stp verify PACKAGE [--password TEXT] [--code-page N] [--threads N]
//   stp extract PACKAGE DEST [--system-dir DIR] [--password TEXT] [--code-page N]
//               [--allow-shared-folders] [--threads N]
//   stp pack DIR -o PACKAGE [--hash NAME] [--cipher NAME] [--password TEXT] [--trailer 3|10|22|29]
//            [--uninstaller FILE | --no-uninstaller] [--salt TEXT] [--iv TEXT] [--level N]
//            [--threads N]
//   stp uninstaller DIR -o FILE [--uninstaller FILE]
//   stp setup DIR -o SETUP.EXE --settings FILE [--stub FILE] [pack's options]
//             [--sign-cert FILE|URI --sign-key FILE|URI [--pkcs11-module FILE]
//              [--sign-key-password-file FILE] [--timestamp-url URL]
//              | --sign-command "CMD ... {}"]
//   stp init DIR [--name TEXT] [--chinese-name TEXT] [--short-name NAME] [--version TEXT]
//   stp help [COMMAND] | stp --version
//
// pack adds the uninstaller (Uninst.exe with the list of the package's rows)
// unless the folder has its own Uninst.exe. The program comes from
// --uninstaller, else the environment variable STP_UNINSTALLER, else the
// default: Uninst.exe beside stp.exe on Windows, the 32-bit build's one for
// the host build.
//
// Exit status: 0 done, 1 failed (one line on standard error), 2 usage.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/Convert.h"
#include "common/Errors.h"
#include "common/Parallel.h"
#include "common/Path.h"
#include "common/Text.h"
#include "datatable/Errors.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Deflate.h"
#include "package/Errors.h"
#include "package/Extractor.h"
#include "package/NvCrypUtils.h"
#include "package/Verify.h"
#include "package/Writer.h"
#include "pe/PeImage.h"
#include "tools/ProductInit.h"
#include "tools/ProductSettings.h"
#include "tools/SetupStamp.h"
#include "tools/Signing.h"
#include "tools/ToolPlatform.h"

#ifdef _WIN32
#include <io.h>

#include "shell/Drives.h"
#define STP_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define STP_ISATTY(fd) isatty(fd)
#endif

namespace {

const char kUsage[] =
    "usage:\n"
    "  stp list PACKAGE [--password TEXT] [--code-page N]\n"
    "  stp verify PACKAGE [--password TEXT] [--code-page N] [--threads N]\n"
    "  stp extract PACKAGE DEST [--system-dir DIR] [--password TEXT] [--code-page N]\n"
    "              [--allow-shared-folders] [--threads N]\n"
    "  stp pack DIR -o PACKAGE [--hash NAME] [--cipher NAME] [--password TEXT]"
    " [--trailer 3|10|22|29]\n"
    "           [--uninstaller FILE | --no-uninstaller] [--salt TEXT] [--iv TEXT]\n"
    "           [--level N] [--threads N]\n"
    "  stp uninstaller DIR -o FILE [--uninstaller FILE] [--settings FILE]\n"
    "  stp setup DIR -o SETUP.EXE --settings FILE [--stub FILE] [pack's options]\n"
    "           [--sign-cert FILE|URI --sign-key FILE|URI [--pkcs11-module FILE]\n"
    "            [--sign-key-password-file FILE] [--timestamp-url URL]\n"
    "            | --sign-command \"CMD ... {}\"]\n"
    "  stp init DIR [--name TEXT] [--chinese-name TEXT] [--short-name NAME]"
    " [--version TEXT]\n"
    "  stp help [COMMAND]\n"
    "  stp --version\n"
    "hashes: haval md5 sha1 sha256 sha512\n"
    "ciphers: blowfish cast128 cast256 des 3des aes rc4 twofish idea\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kHelp[] = {
    {"list",
     "stp list PACKAGE [--password TEXT] [--code-page N]\n"
     "\n"
     "Prints every row of the package: folder, file name, stored and unpacked size,\n"
     "and where the file would go (<dest> the destination, <system> the system\n"
     "directory). Nothing is read but the index. A row that extract and verify\n"
     "refuse (a name Windows cannot write, a size that cannot be) is listed too,\n"
     "with the reason in place of where it goes; list then exits with 1.\n"
     "\n"
     "  --password TEXT  the password the index was packed with (default: empty, the\n"
     "                   one the setup program uses)\n"
     "  --code-page N    the code page the index is read with (default 1252, on\n"
     "                   Windows too: a Chinese product's package wants 936)\n"},
    {"verify",
     "stp verify PACKAGE [--password TEXT] [--code-page N] [--threads N]\n"
     "\n"
     "Reads the index and inflates every body without writing anything, checking\n"
     "that each takes exactly its stored size and gives exactly its unpacked size.\n"
     "Prints \"N files, all sound\" (exit 0) or names the first bad row (exit 1).\n"
     "pack runs the same check on every package it writes.\n"
     "\n"
     "  --password TEXT, --code-page N  as for list\n"
     "  --threads N      the threads that check files, 1 to 16 (default: the number\n"
     "                   of processors; stp.exe works on one)\n"},
    {"extract",
     "stp extract PACKAGE DEST [--system-dir DIR] [--password TEXT] [--code-page N]\n"
     "            [--allow-shared-folders] [--threads N]\n"
     "\n"
     "Unpacks every file into DEST as the setup program does. Files for the system\n"
     "directory go to --system-dir DIR (needed off Windows) and are never\n"
     "overwritten there. Each file is written under a temporary name and renamed\n"
     "into place when complete. A progress bar on a terminal, percentage lines\n"
     "otherwise. A file with no index extracts nothing and succeeds, with a warning.\n"
     "Run as root, it refuses a DEST, or a folder on the way to it, that another\n"
     "user owns or may change (a sticky folder such as /tmp is safe for what root\n"
     "owns in it), or a link on the way that another user owns.\n"
     "\n"
     "  --password TEXT, --code-page N  as for list\n"
     "  --allow-shared-folders  unpack there all the same\n"
     "  --threads N      the threads that unpack files, 1 to 16 (default: the number\n"
     "                   of processors; stp.exe works on one); the files are the\n"
     "                   same with any number\n"},
    {"pack",
     "stp pack DIR -o PACKAGE [--hash NAME] [--cipher NAME] [--password TEXT]\n"
     "         [--trailer 3|10|22|29] [--uninstaller FILE | --no-uninstaller]\n"
     "         [--salt TEXT] [--iv TEXT] [--code-page N] [--level N] [--threads N]\n"
     "\n"
     "Packs every file under DIR into the same relative folder of the destination;\n"
     "files under DIR/$System$ go to the system directory. Rows are ordered by their\n"
     "paths, compared by code point, on every system. The package written is read\n"
     "back and checked as verify does before it takes its name.\n"
     "\n"
     "  --hash NAME        haval md5 sha1 sha256 sha512 (default sha256)\n"
     "  --cipher NAME      blowfish cast128 cast256 des 3des aes rc4 twofish idea\n"
     "                     (default aes)\n"
     "  --password TEXT    default: empty, the one the setup program uses\n"
     "  --trailer N        3, 10, 22 or 29 bytes (default 3)\n"
     "  --uninstaller FILE the uninstaller program to add as Uninst.exe with the\n"
     "                     list of the package's rows (default: STP_UNINSTALLER, else\n"
     "                     the build's Uninst.exe); a DIR with its own Uninst.exe at\n"
     "                     its top is packed as it is\n"
     "  --no-uninstaller   add none\n"
     "  --settings FILE    give the uninstaller added the version information of\n"
     "                     the product's settings file, as setup does\n"
     "  --no-verify        do not read the package back (to make packages that\n"
     "                     readers must refuse, for testing them)\n"
     "  --salt TEXT        the index envelope's salt: 8 letters or digits\n"
     "  --iv TEXT          its vector: one block of letters or digits (16 for aes,\n"
     "                     cast256 and twofish, 8 for the others, none for rc4)\n"
     "  --level N          1 (the fastest) to 12 (the smallest), default 7; every\n"
     "                     level makes zlib streams any reader of packages reads\n"
     "  --threads N        the threads that compress, 1 to 16 (default: the number\n"
     "                     of processors; stp.exe works on one); the package is the\n"
     "                     same byte for byte with any number\n"
     "\n"
     "Salt and vector are random unless given, or derived from the environment\n"
     "variable SOURCE_DATE_EPOCH and the index when that is set: then the same input\n"
     "gives the same package, byte for byte.\n"},
    {"uninstaller",
     "stp uninstaller DIR -o FILE [--uninstaller FILE] [--settings FILE]\n"
     "\n"
     "Writes the uninstaller that pack would add for DIR: the program with the list\n"
     "of DIR's files and its own row. For a signed uninstaller: write it as\n"
     "DIR/Uninst.exe, sign that, then pack DIR, which packs it as it is. (pack\n"
     "refuses a signed program to add a list to: the list would break its\n"
     "signature.)\n"
     "\n"
     "  --uninstaller FILE  the program (default: STP_UNINSTALLER, else the\n"
     "                      build's Uninst.exe)\n"
     "  --settings FILE     give it the version information of the product's\n"
     "                      settings file, as setup does\n"},
    {"setup",
     "stp setup DIR -o SETUP.EXE --settings FILE [--stub FILE] [pack's options]\n"
     "          [--sign-cert FILE|URI --sign-key FILE|URI [--pkcs11-module FILE]\n"
     "           [--sign-key-password-file FILE] [--timestamp-url URL]\n"
     "           | --sign-command \"CMD ... {}\"]\n"
     "\n"
     "Writes a complete Setup.exe: packs DIR as pack does (with the uninstaller and\n"
     "its list) and puts the package and the product's strings, banners, header\n"
     "picture and icon, as the settings file names them, into the setup stub.\n"
     "Every key of the settings file must be there; the pictures are checked\n"
     "(banners: baseline JPEG, 160 x 308, colour; header picture: 32 x 32 bitmap\n"
     "of 24 bits; icon: 16 x 16 and 32 x 32 images).\n"
     "\n"
     "  --settings FILE     the product's settings (\"Key = Value\" lines, UTF-8;\n"
     "                      picture paths relative to the file)\n"
     "  --stub FILE         the setup stub (default: STP_STUB, else the installed\n"
     "                      SetupStub.exe)\n"
     "  --hash, --cipher, --password, --trailer, --uninstaller, --no-uninstaller,\n"
     "  --salt, --iv, --level, --threads  as for pack\n"
     "  --sign-cert FILE    sign with this code-signing certificate (PEM or DER, its\n"
     "                      chain may follow it), or the one on a token (a pkcs11:\n"
     "                      URI): first the uninstaller, with its list, then\n"
     "                      Setup.exe; needs osslsigncode\n"
     "  --sign-key FILE     the certificate's private key, or a key on a token:\n"
     "                      pkcs11:token=...;object=... (needs --pkcs11-module)\n"
     "  --pkcs11-module FILE  the token's PKCS#11 module (its vendor's .so)\n"
     "  --sign-key-password-file FILE  a file whose first line is the key's password\n"
     "                      or the token's PIN\n"
     "  --timestamp-url URL an RFC 3161 timestamp server\n"
     "  --sign-command \"CMD ... {}\"  sign with another tool instead: CMD runs with\n"
     "                      {} replaced by each program, the uninstaller first, and\n"
     "                      must sign it in place; its failure stops the run\n"
     "\n"
     "With SOURCE_DATE_EPOCH set, the same input gives the same Setup.exe, byte for\n"
     "byte (signed: with that time as the signing time).\n"},
    {"init",
     "stp init DIR [--name TEXT] [--chinese-name TEXT] [--short-name NAME]\n"
     "         [--version TEXT]\n"
     "\n"
     "Starts a product: writes DIR/product.settings, every key in it explained,\n"
     "and neutral pictures that pass setup's checks in DIR/art/ (two banners, a\n"
     "header picture, an icon). Then\n"
     "  stp setup PRODUCT_FOLDER -o Setup.exe --settings DIR/product.settings\n"
     "makes a working Setup.exe. Nothing already in DIR is replaced.\n"
     "\n"
     "  --name TEXT          the product's name in English (asked for when left\n"
     "                       out)\n"
     "  --chinese-name TEXT  its name in Chinese (default: the English name)\n"
     "  --short-name NAME    the main program is NAME.exe (default: the English\n"
     "                       name's letters and digits)\n"
     "  --version TEXT       the version (default 1.0)\n"},
};

struct UsageError {
  std::string what;
};

struct Args {
  std::vector<std::u16string> positional;
  std::map<std::string, std::u16string> options;
};

// known: options that take a value; flags: options that take none.
Args Parse(const std::vector<std::u16string>& argv, const std::vector<std::string>& known,
           const std::vector<std::string>& flags = {}) {
  Args a;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string arg = ToUtf8(argv[i]);
    if (arg.size() > 1 && arg[0] == '-') {
      bool ok = false, flag = false;
      for (const auto& k : known)
        ok |= k == arg;
      for (const auto& f : flags)
        flag |= f == arg;
      if (flag) {
        a.options[arg] = u"";
        continue;
      }
      if (!ok)
        throw UsageError{"unknown option " + arg};
      if (i + 1 >= argv.size())
        throw UsageError{"option " + arg + " needs a value"};
      a.options[arg] = argv[++i];
    } else {
      a.positional.push_back(argv[i]);
    }
  }
  return a;
}

std::u16string Option(const Args& a, const std::string& name, std::u16string fallback = {}) {
  auto it = a.options.find(name);
  return it == a.options.end() ? fallback : it->second;
}

// The code page: --code-page when given, else 1252.
struct CodePageChoice {
  std::unique_ptr<CodePage> owned;
  const CodePage* page = nullptr;
};

CodePageChoice ChooseCodePage(const Args& a) {
  CodePageChoice c;
  auto it = a.options.find("--code-page");
  if (it != a.options.end()) {
    const auto n = TryTextToInt(it->second);
    if (!n || *n <= 0)
      throw UsageError{"--code-page needs a code page number"};
    c.owned = CreateCodePage(static_cast<unsigned>(*n));
    c.page = c.owned.get();
  } else {
    // The same on every system, so that stp.exe and stp make the same bytes.
    c.page = &Cp1252();
  }
  return c;
}

// An error's text as this system writes paths: off Windows, the separators
// of a path that begins with one the user gave (the library joins paths with
// "\\") are written "/". What comes before such a path (a row's cells, as the
// package stores them) stays as it is.
std::string ShownMessage(std::u16string message, const std::vector<std::u16string>& given) {
#ifndef _WIN32
  size_t from = message.size();
  for (std::u16string root : given) {
    if (root.empty() || root[0] == u'-')
      continue;
    for (auto& c : root) {
      if (c == u'/')
        c = u'\\';
    }
    while (!root.empty() && root.back() == u'\\')
      root.pop_back();
    const std::u16string folder = root + u'\\';
    size_t at = message.find(folder);
    if (at == std::u16string::npos && root.find(u'\\') != std::u16string::npos)
      at = message.find(root);
    // Or a folder on the way to it.
    for (size_t cut = root.find_last_of(u'\\');
         at == std::u16string::npos && cut != 0 && cut != std::u16string::npos;
         cut = root.find_last_of(u'\\', cut - 1)) {
      at = message.find(root.substr(0, cut) + u'\\');
      if (at == std::u16string::npos)
        at = message.find(root.substr(0, cut) + u':');
    }
    if (at != std::u16string::npos && at < from)
      from = at;
  }
  for (size_t i = from; i < message.size(); ++i) {
    if (message[i] == u'\\')
      message[i] = u'/';
  }
#else
  (void)given;
#endif
  return ToUtf8(message);
}

std::string Shown(const std::u16string& path) {
  std::u16string p = path;
#ifndef _WIN32
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
#endif
  return ToUtf8(p);
}

std::function<std::u16string()> SystemDirProvider(const Args& a) {
  auto it = a.options.find("--system-dir");
  if (it != a.options.end()) {
    const std::u16string dir = AsFolder(TypedPath(it->second));
    return [dir] { return dir; };
  }
#ifdef _WIN32
  return [] { return GetSystemDir(); };
#else
  return []() -> std::u16string {
    throw Error(
        u"this package has system files: give the folder that stands for the system "
        u"directory with --system-dir");
  };
#endif
}

// How far the index gets; a file too short for its trailer, or whose trailer
// announces what cannot be, is no setup package.
TIndexState Examine(const Args& a, const CodePage& cp) {
  try {
    return ExamineIndex(a.positional[0], Option(a, "--password"), cp);
  } catch (const PackageReadError& e) {
    throw Error(a.positional[0] + u" is not a setup package: " + e.Message());
  }
}

// Why a package's index does not read, in words a person can act on, raised
// in place of the error the reading gave.
[[noreturn]] void ExplainIndex(const Args& a, const CodePage& cp, const Error& e) {
  const std::u16string& path = a.positional[0];
  switch (Examine(a, cp)) {
    case TIndexState::NoIndex:
      break;
    case TIndexState::NotAnEnvelope:
      throw Error(path + u" is not a setup package: it holds no index this tool can open");
    case TIndexState::Opens:
      throw Error(path + u": the index does not open with " +
                  (a.options.count("--password") ? u"the password given" : u"the empty password") +
                  u" (or it is damaged): give the package's password with --password TEXT");
  }
  throw e;
}

// The rows of a package's index; a package with no index at all is an error.
// A refused row raises an error naming it, unless keepRefused (see
// PlanPackage).
std::vector<TRowPlan> ReadRows(const Args& a, const CodePage& cp, const TExtractOptions& options,
                               bool keepRefused = false) {
  if (Examine(a, cp) == TIndexState::NoIndex)
    throw Error(a.positional[0] + u" is not a setup package, or an empty one: it holds no index");
  std::vector<TRowPlan> rows;
  try {
    rows = PlanPackage(a.positional[0], u"<dest>\\", Option(a, "--password"), options, keepRefused);
  } catch (const ListIndexError& e) {
    ExplainIndex(a, cp, e);
  } catch (const ConvertError& e) {
    ExplainIndex(a, cp, e);
  }
  return rows;
}

// --threads N: the threads that compress, inflate and check bodies; default
// the number of processors.
int ThreadsOf(const Args& a) {
  if (a.options.count("--threads") == 0)
    return ProcessorCount();
  const auto n = TryTextToInt(Option(a, "--threads"));
  if (!n || *n < 1 || *n > kMaxPackThreads)
    throw UsageError{"--threads is a number from 1 to " + std::to_string(kMaxPackThreads)};
  return static_cast<int>(*n);
}

// Prints a progress bar on a terminal, percentage lines otherwise (or none).
class Progress {
 public:
  explicit Progress(bool linesOffTerminal) : tty_(STP_ISATTY(1) != 0), lines_(linesOffTerminal) {}
  ~Progress() {
    if (tty_ && last_ >= 0)
      std::printf("\n");
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void operator()(int64_t percent) {
    if (percent == last_)
      return;
    last_ = percent;
    if (tty_) {
      const int filled = static_cast<int>(percent * 40 / 100);
      std::printf("\r[%s%s] %3lld%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                  std::string(static_cast<size_t>(40 - filled), ' ').c_str(),
                  static_cast<long long>(percent));
    } else if (lines_) {
      std::printf("%lld%%\n", static_cast<long long>(percent));
    }
    std::fflush(stdout);
  }
  // Ends the bar's line before other output.
  void Done() {
    if (tty_ && last_ >= 0)
      std::printf("\n");
    last_ = -1;
  }

 private:
  bool tty_;
  bool lines_;
  int64_t last_ = -1;
};

int List(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"list takes one package"};
  const CodePageChoice cp = ChooseCodePage(a);
  TExtractOptions options;
  options.codePage = cp.page;
  options.systemDir = [] { return std::u16string(u"<system>\\"); };
  // Every row, the refused ones too: a package that extract and verify
  // refuse can still be looked into.
  const auto rows = ReadRows(a, *cp.page, options, true);
  std::printf("%-24s %-32s %12s %12s  %s\n", "folder", "file", "stored", "unpacked", "goes to");
  int64_t stored = 0, unpacked = 0;
  size_t refused = 0;
  for (const auto& r : rows) {
    const std::string where = r.refused.empty()
                                  ? Shown(r.targetPath) + (r.system ? " (kept if present)" : "")
                                  : "refused: " + ToUtf8(r.refused);
    std::printf("%-24s %-32s %12d %12d  %s\n", ToUtf8(r.folder).c_str(), ToUtf8(r.fileName).c_str(),
                r.storedSize, r.unpackedSize, where.c_str());
    stored += r.storedSize;
    unpacked += r.unpackedSize;
    refused += r.refused.empty() ? 0 : 1;
  }
  std::printf("%zu files, %lld bytes stored, %lld bytes unpacked\n", rows.size(),
              static_cast<long long>(stored), static_cast<long long>(unpacked));
  if (refused > 0) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "stp: %s: %zu of %zu rows refused: extract and verify refuse the package\n",
                 Shown(a.positional[0]).c_str(), refused, rows.size());
    return 1;
  }
  return 0;
}

int Verify(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"verify takes one package"};
  const CodePageChoice cp = ChooseCodePage(a);
  TExtractOptions options;
  options.codePage = cp.page;
  options.systemDir = [] { return std::u16string(u"<system>\\"); };
  options.threads = ThreadsOf(a);
  ReadRows(a, *cp.page, options);  // the index, with the messages above
  Progress progress(false);
  const TVerifyResult r = VerifyPackage(a.positional[0], Option(a, "--password"), options,
                                        [&](int64_t p) { progress(p); });
  progress.Done();
  std::printf("%d files, all sound (%lld bytes stored, %lld bytes unpacked)\n", r.files,
              static_cast<long long>(r.stored), static_cast<long long>(r.unpacked));
  return 0;
}

int Extract(const Args& a) {
  if (a.positional.size() != 2)
    throw UsageError{"extract takes a package and a destination"};
  const CodePageChoice cp = ChooseCodePage(a);
  TExtractOptions options;
  options.codePage = cp.page;
  options.systemDir = SystemDirProvider(a);
  options.refuseFoldersOthersMayChange =
      RunsAsRoot() && a.options.count("--allow-shared-folders") == 0;
  options.threads = ThreadsOf(a);
  if (Examine(a, *cp.page) == TIndexState::NoIndex) {
    // As the setup program does: nothing to extract is no failure.
    std::fprintf(stderr,
                 "stp: warning: %s holds no index (not a setup package, or an empty one): "
                 "nothing was extracted\n",
                 Shown(a.positional[0]).c_str());
  }
  Progress progress(true);
  try {
    ExtractPackage(
        a.positional[0], AsFolder(TypedPath(a.positional[1])), Option(a, "--password"),
        [&](int64_t percent) { progress(percent); }, options);
  } catch (const ListIndexError& e) {
    progress.Done();
    ExplainIndex(a, *cp.page, e);
  } catch (const ConvertError& e) {
    progress.Done();
    ExplainIndex(a, *cp.page, e);
  }
  return 0;
}

// A file installed with stp (in ToolDataFolder()); off Windows, where the
// tool runs from a build tree, the build's own when none is installed.
std::u16string DefaultToolFile(const char16_t* name, const char* buildFile) {
  const std::u16string installed = ToolDataFolder() + name;
  if (buildFile == nullptr || FileExists(installed))
    return installed;
  return FromUtf8(buildFile);
}

// The uninstaller program to add, empty for none.
std::u16string ChooseUninstaller(const Args& a, const std::u16string& dir) {
  const bool given = a.options.count("--uninstaller") != 0;
  if (a.options.count("--no-uninstaller")) {
    if (given)
      throw UsageError{"--uninstaller and --no-uninstaller exclude each other"};
    return {};
  }
  std::u16string path;
  std::u16string from;
  const char* env = std::getenv("STP_UNINSTALLER");
  if (given) {
    path = Option(a, "--uninstaller");
    from = u"--uninstaller";
  } else if (env != nullptr && *env != 0) {
    path = FromUtf8(env);
    from = u"STP_UNINSTALLER";
  } else {
#ifdef _WIN32
    path = DefaultToolFile(u"Uninst.exe", nullptr);
#else
    path = DefaultToolFile(u"Uninst.exe", STP_DEFAULT_UNINSTALLER);
#endif
    from = u"the default";
  }
  if (path.empty())
    throw UsageError{"--uninstaller needs a file"};
  if (!FileExists(path) && !HasOwnUninstaller(dir)) {
    throw Error(u"the uninstaller program " + path + u" (" + from +
                u") does not exist: give one with --uninstaller FILE or pack without it with "
                u"--no-uninstaller");
  }
  return path;
}

// The packing options of pack and setup; cp must outlive them.
TPackOptions PackOptionsOf(const Args& a, const CodePageChoice& cp) {
  TPackOptions options;
  options.codePage = cp.page;
  options.password = Option(a, "--password");
  const int hash = HashSelectorByName(ToUtf8(Option(a, "--hash", u"sha256")));
  const int cipher = CipherSelectorByName(ToUtf8(Option(a, "--cipher", u"aes")));
  if (hash < 0)
    throw UsageError{"unknown hash " + ToUtf8(Option(a, "--hash"))};
  if (cipher < 0)
    throw UsageError{"unknown cipher " + ToUtf8(Option(a, "--cipher"))};
  options.hash = static_cast<uint32_t>(hash);
  options.cipher = static_cast<uint32_t>(cipher);
  const auto trailer = TryTextToInt(Option(a, "--trailer", u"3"));
  if (!trailer || (*trailer != 3 && *trailer != 10 && *trailer != 22 && *trailer != 29)) {
    throw UsageError{"--trailer is 3, 10, 22 or 29"};
  }
  options.trailer = *trailer;
  options.uninstaller = ChooseUninstaller(a, a.positional[0]);
  const size_t ivSize = VectorSize(options.cipher);
  options.salt = Option(a, "--salt");
  options.iv = Option(a, "--iv");
  if (a.options.count("--salt") && !IsPrintableKeyText(options.salt, 8))
    throw UsageError{"--salt is 8 letters or digits"};
  if (a.options.count("--iv")) {
    if (ivSize == 0)
      throw UsageError{"--iv has no use with rc4, which takes no vector"};
    if (!IsPrintableKeyText(options.iv, ivSize)) {
      throw UsageError{"--iv is " + std::to_string(ivSize) + " letters or digits for " +
                       CipherName(options.cipher)};
    }
  }
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && *epoch != 0) {
    if (!TryTextToInt(FromUtf8(epoch)))
      throw UsageError{"SOURCE_DATE_EPOCH is not a number"};
    options.seed = FromUtf8(epoch);
  }
  options.verify = a.options.count("--no-verify") == 0;
  options.threads = ThreadsOf(a);
  if (a.options.count("--level")) {
    const auto level = TryTextToInt(Option(a, "--level"));
    if (!level || *level < kMinLevel || *level > kMaxLevel) {
      throw UsageError{"--level is a number from " + std::to_string(kMinLevel) +
                       " (the fastest) to " + std::to_string(kMaxLevel) + " (the smallest)"};
    }
    options.level = static_cast<int>(*level);
  }
  return options;
}

void WriteFileAs(const std::u16string& path, const std::string& bytes);

// The uninstaller program with the product's version information, raising
// Error naming the program when it cannot take it.
std::string VersionedUninstaller(const std::u16string& program, const TProductResources& product) {
  try {
    return StampUninstaller(ReadFileBytes(program), product);
  } catch (const Error& e) {
    throw Error(program + u": " + e.Message());
  }
}

// Runs `use` with the uninstaller program to take: with --settings, the
// program with the product's version information, in a file beside `out`
// removed afterwards; else the program as it is.
template <typename F>
void WithVersionedUninstaller(const Args& a, const std::u16string& program,
                              const std::u16string& out, F&& use) {
  const std::u16string settings = Option(a, "--settings");
  if (settings.empty() || program.empty()) {
    use(program);
    return;
  }
  const std::string bytes = VersionedUninstaller(program, LoadProductResources(settings));
  const std::u16string temp = out + u".Uninst.program";
  try {
    WriteFileAs(temp, bytes);
    use(temp);
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
  RemoveFile(temp);
}

int Pack(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"pack takes one folder"};
  const std::u16string out = Option(a, "-o");
  if (out.empty())
    throw UsageError{"pack needs -o PACKAGE"};
  const CodePageChoice cp = ChooseCodePage(a);
  TPackOptions options = PackOptionsOf(a, cp);
  TPackResult r;
  WithVersionedUninstaller(a, options.uninstaller, out, [&](const std::u16string& program) {
    options.uninstaller = program;
    r = PackDirectory(a.positional[0], out, options);
  });
  std::printf("%d files, %lld bytes, packed into %lld bytes%s\n", r.files,
              static_cast<long long>(r.unpacked), static_cast<long long>(r.packageSize),
              r.uninstallerAdded ? " (with the uninstaller)" : "");
  return 0;
}

// Writes size bytes to path through a temporary file beside it, which
// `write` fills.
void WriteFileWith(const std::u16string& path, int64_t size,
                   const std::function<void(OutFile&)>& write) {
  const std::u16string temp = path + u".part";
  try {
    OutFile file(temp);
    file.Reserve(size);
    write(file);
    file.Close();
    std::u16string why;
    if (!RenameOver(temp, path, why))
      throw FileError(u"cannot write " + path + u": " + why);
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
}

void WriteFileAs(const std::u16string& path, const std::string& bytes) {
  WriteFileWith(path, static_cast<int64_t>(bytes.size()),
                [&](OutFile& file) { file.Write(bytes.data(), bytes.size()); });
}

// Writes the setup program through a temporary file beside path.
void WriteSetupAs(const std::u16string& path, const TStampedSetup& setup,
                  const std::u16string& package, const TPackageExtent& extent) {
  WriteFileWith(path, static_cast<int64_t>(setup.head.size() + extent.size + setup.padding),
                [&](OutFile& file) { WriteSetup(file, setup, package, extent); });
}

int Uninstaller(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"uninstaller takes one folder"};
  const std::u16string out = Option(a, "-o");
  if (out.empty())
    throw UsageError{"uninstaller needs -o FILE"};
  Args choice = a;
  choice.options.erase("--no-uninstaller");
  // The program itself must be there, whatever the folder holds.
  const std::u16string program = ChooseUninstaller(choice, u"");
  std::string bytes;
  WithVersionedUninstaller(a, program, out, [&](const std::u16string& versioned) {
    bytes = MakeUninstallerFor(a.positional[0], versioned);
  });
  WriteFileAs(out, bytes);
  std::printf("%s: the uninstaller with the list of %s (%zu bytes)\n", Shown(out).c_str(),
              Shown(a.positional[0]).c_str(), bytes.size());
  return 0;
}

TSigning SigningOf(const Args& a) {
  TSigning s;
  s.cert = Option(a, "--sign-cert");
  s.key = Option(a, "--sign-key");
  s.passwordFile = Option(a, "--sign-key-password-file");
  s.pkcs11Module = Option(a, "--pkcs11-module");
  s.timestampUrl = Option(a, "--timestamp-url");
  s.command = Option(a, "--sign-command");
  const std::u16string fault = SigningOptionsFault(s);
  if (!fault.empty())
    throw UsageError{ToUtf8(fault)};
  CheckSigningFiles(s);
  return s;
}

// The space a product takes, for a settings file that leaves SizeText
// empty: whole megabytes, or kilobytes below one, rounded up ("6 MB").
std::u16string SizeText(int64_t bytes) {
  constexpr int64_t kMb = 1024 * 1024;
  if (bytes < kMb)
    return IntToText((bytes + 1023) / 1024) + u" KB";
  return IntToText((bytes + kMb - 1) / kMb) + u" MB";
}

int Setup(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"setup takes one folder"};
  const std::u16string out = Option(a, "-o");
  if (out.empty())
    throw UsageError{"setup needs -o SETUP.EXE"};
  const std::u16string settings = Option(a, "--settings");
  if (settings.empty())
    throw UsageError{"setup needs --settings FILE"};
  const TSigning signing = SigningOf(a);
  const CodePageChoice cp = ChooseCodePage(a);
  TPackOptions options = PackOptionsOf(a, cp);

  // Everything is checked before anything is packed.
  TProductResources product = LoadProductResources(settings);
  std::u16string stubPath = Option(a, "--stub");
  std::u16string stubFrom = u"--stub";
  const char* env = std::getenv("STP_STUB");
  if (stubPath.empty() && env != nullptr && *env != 0) {
    stubPath = FromUtf8(env);
    stubFrom = u"STP_STUB";
  } else if (stubPath.empty()) {
#ifdef _WIN32
    stubPath = DefaultToolFile(u"SetupStub.exe", nullptr);
#else
    stubPath = DefaultToolFile(u"SetupStub.exe", STP_DEFAULT_STUB);
#endif
    stubFrom = u"the default";
  }
  if (!FileExists(stubPath))
    throw Error(u"the setup stub " + stubPath + u" (" + stubFrom +
                u") does not exist: give one with --stub FILE");
  const std::string stub = ReadFileBytes(stubPath);
  try {
    ReadStub(stub);
  } catch (const Error& e) {
    throw Error(stubPath + u": " + e.Message());
  }

  const std::u16string dir = a.positional[0];
  // The uninstaller takes the product's version information.
  std::string uninstallerProgram;
  if (!options.uninstaller.empty() && !HasOwnUninstaller(dir))
    uninstallerProgram = VersionedUninstaller(options.uninstaller, product);
  const std::u16string uninstaller = out + u".Uninst.exe";
  const std::u16string stampedUninstaller = out + u".Uninst.program";
  const std::u16string package = out + u".stp";
  TPackResult packed;
  TStampedSetup stamped;
  try {
    if (!uninstallerProgram.empty()) {
      WriteFileAs(stampedUninstaller, uninstallerProgram);
      options.uninstaller = stampedUninstaller;
    }
    if (signing.On() && !options.uninstaller.empty() && !HasOwnUninstaller(dir)) {
      // Signed with its list in place, then packed as it is.
      WriteFileAs(uninstaller, MakeUninstallerFor(dir, options.uninstaller));
      SignProgram(signing, uninstaller);
      options.finishedUninstaller = uninstaller;
    }
    packed = PackDirectory(dir, package, options);
    if (product.strings[1012].empty())
      product.strings[1012] = SizeText(packed.unpacked);
    const TPackageExtent extent = ExtentOfFile(package);
    stamped = StampSetup(stub, product, extent);
    // Named as a program, which some signers want.
    const std::u16string written = signing.On() ? out + u".unsigned.exe" : out;
    WriteSetupAs(written, stamped, package, extent);
    RemoveFile(package);
    RemoveFile(uninstaller);
    RemoveFile(stampedUninstaller);
  } catch (...) {
    RemoveFile(package);
    RemoveFile(uninstaller);
    RemoveFile(stampedUninstaller);
    throw;
  }
  if (signing.On()) {
    const std::u16string temp = out + u".unsigned.exe";
    try {
      SignProgram(signing, temp);
      std::u16string why;
      if (!RenameOver(temp, out, why))
        throw FileError(u"cannot write " + out + u": " + why);
    } catch (...) {
      RemoveFile(temp);
      throw;
    }
  }
  InFile written(out);
  std::printf("%s: %d files, %lld bytes, packed into %lld bytes%s; %lld bytes%s\n",
              Shown(out).c_str(), packed.files, static_cast<long long>(packed.unpacked),
              static_cast<long long>(packed.packageSize),
              packed.uninstallerAdded ? " (with the uninstaller)" : "",
              static_cast<long long>(written.Size()), signing.On() ? ", signed" : "");
  return 0;
}

// A line typed at the prompt, without its line break; empty at the end of
// the input.
std::u16string Ask(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  char line[1024];
  if (std::fgets(line, sizeof line, stdin) == nullptr)
    return {};
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return FromUtf8(text);
}

int Init(const Args& a) {
  if (a.positional.size() != 1)
    throw UsageError{"init takes one folder"};
  TProductNames names{Option(a, "--name"), Option(a, "--chinese-name"), Option(a, "--short-name"),
                      Option(a, "--version")};
  if (names.english.empty()) {
    names.english = Ask("The product's name in English: ");
    if (names.english.empty())
      throw UsageError{"init needs the product's name: --name TEXT"};
    if (a.options.count("--chinese-name") == 0)
      names.chinese = Ask("Its name in Chinese (Enter: the same): ");
  }
  const std::u16string& dir = a.positional[0];
  InitProduct(dir, names);
  // The folder as given, then a separator of the kind it uses.
  const char separator = dir.find(u'\\') != std::u16string::npos ? '\\' : '/';
  const std::string top =
      Shown(dir) +
      (dir.back() == u'/' || dir.back() == u'\\' ? std::string() : std::string(1, separator));
  std::printf(
      "%sproduct.settings and %sart: a first Setup.exe of the product folder PRODUCT:\n"
      "  stp setup PRODUCT -o Setup.exe --settings %sproduct.settings\n",
      top.c_str(), top.c_str(), top.c_str());
  return 0;
}

int Run(const std::vector<std::u16string>& argv) {
  try {
    if (argv.empty())
      throw UsageError{"no command"};
    const std::string cmd = ToUtf8(argv[0]);
    const std::vector<std::u16string> rest(argv.begin() + 1, argv.end());
    if (cmd == "list")
      return List(Parse(rest, {"--password", "--code-page"}));
    if (cmd == "uninstaller")
      return Uninstaller(Parse(rest, {"-o", "--uninstaller", "--settings"}));
    if (cmd == "verify")
      return Verify(Parse(rest, {"--password", "--code-page", "--threads"}));
    if (cmd == "extract") {
      return Extract(Parse(rest, {"--password", "--code-page", "--system-dir", "--threads"},
                           {"--allow-shared-folders"}));
    }
    if (cmd == "pack") {
      return Pack(Parse(rest,
                        {"-o", "--hash", "--cipher", "--password", "--trailer", "--code-page",
                         "--uninstaller", "--salt", "--iv", "--settings", "--level", "--threads"},
                        {"--no-uninstaller", "--no-verify"}));
    }
    if (cmd == "init")
      return Init(Parse(rest, {"--name", "--chinese-name", "--short-name", "--version"}));
    if (cmd == "setup") {
      return Setup(
          Parse(rest,
                {"-o", "--settings", "--stub", "--hash", "--cipher", "--password", "--trailer",
                 "--code-page", "--uninstaller", "--salt", "--iv", "--sign-cert", "--sign-key",
                 "--sign-key-password-file", "--timestamp-url", "--pkcs11-module", "--sign-command",
                 "--level", "--threads"},
                {"--no-uninstaller"}));
    }
    if (cmd == "--version" || cmd == "-V") {
      if (!rest.empty())
        throw UsageError{"--version takes nothing more"};
      std::printf("stp %s\n", STP_VERSION);
      return 0;
    }
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
      if (rest.size() > 1)
        throw UsageError{"help takes one command"};
      if (rest.empty()) {
        std::fputs(kUsage, stdout);
        std::fputs("\"stp help COMMAND\" tells more of one.\n", stdout);
        return 0;
      }
      const std::string name = ToUtf8(rest[0]);
      for (const auto& h : kHelp) {
        if (name == h.name) {
          std::fputs(h.text, stdout);
          return 0;
        }
      }
      throw UsageError{"no command " + name + " to tell of"};
    }
    throw UsageError{"unknown command " + cmd};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "stp: %s\n%s", e.what.c_str(), kUsage);
    return 2;
  } catch (const Error& e) {
    std::fprintf(stderr, "stp: %s\n", ShownMessage(e.Message(), argv).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stp: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i], argv[i] + std::wcslen(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(FromUtf8(argv[i]));
  return Run(args);
}
#endif
