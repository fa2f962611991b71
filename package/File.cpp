#include "package/File.h"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <wchar.h>

#include <cerrno>
#include <cstring>
#include <windows.h>
#endif

#include "common/Errors.h"
#include "common/Text.h"

namespace {

#ifndef _WIN32
std::string UnixPath(std::u16string_view path) {
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
  return ToUtf8(p);
}
#endif

std::FILE* OpenFile(std::u16string_view path, bool write) {
#ifdef _WIN32
  const std::wstring wide(path.begin(), path.end());
  return _wfopen(wide.c_str(), write ? L"wb" : L"rb");
#else
  return std::fopen(UnixPath(path).c_str(), write ? "wb" : "rb");
#endif
}

int SeekTo(std::FILE* f, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, offset, SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

int64_t Tell(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return static_cast<int64_t>(ftello(f));
#endif
}

}  // namespace

InFile::InFile(std::u16string_view path) {
  file_ = OpenFile(path, false);
  if (file_ == nullptr)
    throw FileError(u"cannot open " + std::u16string(path));
  if (std::fseek(file_, 0, SEEK_END) != 0 || (size_ = Tell(file_)) < 0 || SeekTo(file_, 0) != 0) {
    std::fclose(file_);
    throw FileError(u"cannot read " + std::u16string(path));
  }
}

InFile::~InFile() {
  if (file_ != nullptr)
    std::fclose(file_);
}

void InFile::Seek(int64_t offset) {
  if (offset < 0 || offset > size_) {
    throw PackageReadError(u"position " + IntToText(offset) + u" lies outside the package");
  }
  if (SeekTo(file_, offset) != 0)
    throw PackageReadError(u"seek failed");
  position_ = offset;
}

size_t InFile::Read(void* buffer, size_t size) {
  const size_t n = std::fread(buffer, 1, size, file_);
  position_ += static_cast<int64_t>(n);
  return n;
}

void InFile::ReadExact(void* buffer, size_t size) {
  if (Read(buffer, size) != size)
    throw PackageReadError(u"the package ends too soon");
}

OutFile::OutFile(std::u16string_view path) : path_(path) {
  file_ = OpenFile(path, true);
  if (file_ == nullptr)
    throw FileError(u"cannot create " + path_);
}

OutFile::~OutFile() {
  if (file_ != nullptr)
    std::fclose(file_);
}

void OutFile::Reserve(int64_t size) {
  if (size <= 0)
    return;
#ifdef _WIN32
  // The end of the file moves, the data written so far does not: the system
  // fills nothing in, and the writes that follow carry the bytes.
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
  LARGE_INTEGER end, start;
  end.QuadPart = size;
  start.QuadPart = 0;
  if (h == INVALID_HANDLE_VALUE || !SetFilePointerEx(h, end, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(h) || !SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
    throw FileError(u"no room for the " + IntToText(size) + u" bytes of " + path_);
  }
#else
  // Linux file systems place a file written front to back in one piece
  // anyway; reserving its blocks first (fallocate) measured no faster.
#endif
}

void OutFile::Write(const void* data, size_t size) {
  if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
    throw FileError(u"cannot write " + path_);
  }
}

void OutFile::Close() {
  if (file_ == nullptr)
    return;
  const int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0)
    throw FileError(u"cannot write " + path_);
}

#ifdef _WIN32

// The C runtime's wide calls: the portable library stays clear of the
// Windows API itself.
namespace {

std::wstring Wide(std::u16string_view path) {
  return std::wstring(path.begin(), path.end());
}

// The runtime's stat does not take a folder with a final "\" (other than a
// drive's root), and without the "\" a name that ends in a blank would be
// the path's last part, which the system trims. Such a folder exists when
// it can be listed.
bool Stat(std::u16string_view path, struct _stat64& st) {
  const std::wstring p = Wide(path);
  if (p.size() > 1 && (p.back() == L'\\' || p.back() == L'/') &&
      !(p.size() == 3 && p[1] == L':')) {
    struct _wfinddata64_t found;
    const intptr_t h = _wfindfirst64((p + L"*").c_str(), &found);
    if (h == -1)
      return false;
    _findclose(h);
    std::memset(&st, 0, sizeof st);
    st.st_mode = _S_IFDIR;
    return true;
  }
  return _wstat64(p.c_str(), &st) == 0;
}

std::u16string ErrnoText(int code) {
  return FromUtf8(std::strerror(code));
}

}  // namespace

bool DirectoryExists(std::u16string_view path) {
  struct _stat64 st;
  return Stat(path, st) && (st.st_mode & _S_IFDIR) != 0;
}

bool FileExists(std::u16string_view path) {
  struct _stat64 st;
  return Stat(path, st) && (st.st_mode & _S_IFREG) != 0;
}

bool ForceDirectories(std::u16string_view path) {
  const std::wstring p = Wide(path);
  // Past the root: "C:\", or "\\server\share\" of a UNC path.
  size_t start = 0;
  if (p.size() >= 2 && p[1] == L':') {
    start = 2;
  } else if (p.rfind(L"\\\\", 0) == 0) {
    const size_t server = p.find_first_of(L"\\/", 2);
    start = server == std::wstring::npos ? p.size() : p.find_first_of(L"\\/", server + 1);
    if (start == std::wstring::npos)
      start = p.size();
  }
  // Level by level, each with its "\": a name is made as it is written, even
  // one ending in a blank, which the system trims only from a path's last
  // part.
  for (size_t i = start; i <= p.size(); ++i) {
    if (i < p.size() && p[i] != L'\\' && p[i] != L'/')
      continue;
    const std::wstring level = p.substr(0, std::min(i + 1, p.size()));
    if (i > start && !DirectoryExists(std::u16string(level.begin(), level.end())))
      _wmkdir(level.c_str());
  }
  return DirectoryExists(path);
}

bool IsReadOnlyFile(std::u16string_view path) {
  struct _stat64 st;
  return Stat(path, st) && (st.st_mode & _S_IFREG) != 0 && (st.st_mode & _S_IWRITE) == 0;
}

bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why) {
  const std::wstring source = Wide(from), target = Wide(to);
  if (_wrename(source.c_str(), target.c_str()) == 0)
    return true;
  if (!FileExists(to)) {
    why = ErrnoText(errno);
    return false;
  }
  // The runtime does not rename over a file: the old one steps aside first
  // and comes back when the new one cannot take its place, so it is never
  // lost. A file in use cannot step aside.
  const std::wstring aside = target + L".stp-old";
  _wremove(aside.c_str());
  if (_wrename(target.c_str(), aside.c_str()) != 0) {
    why = ErrnoText(errno);
    return false;
  }
  if (_wrename(source.c_str(), target.c_str()) != 0) {
    why = ErrnoText(errno);
    _wrename(aside.c_str(), target.c_str());
    return false;
  }
  _wremove(aside.c_str());
  return true;
}

bool RemoveFile(std::u16string_view path) {
  return _wremove(Wide(path).c_str()) == 0;
}

#else

bool DirectoryExists(std::u16string_view path) {
  std::error_code ec;
  return std::filesystem::is_directory(UnixPath(path), ec);
}

bool FileExists(std::u16string_view path) {
  std::error_code ec;
  const auto status = std::filesystem::status(UnixPath(path), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool ForceDirectories(std::u16string_view path) {
  std::error_code ec;
  const std::filesystem::path p = UnixPath(path);
  std::filesystem::create_directories(p, ec);
  return std::filesystem::is_directory(p, ec);
}

bool IsReadOnlyFile(std::u16string_view path) {
  std::error_code ec;
  const auto st = std::filesystem::status(UnixPath(path), ec);
  if (ec || !std::filesystem::exists(st) || std::filesystem::is_directory(st))
    return false;
  return (st.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why) {
  std::error_code ec;
  std::filesystem::rename(UnixPath(from), UnixPath(to), ec);
  if (!ec)
    return true;
  why = FromUtf8(ec.message());
  return false;
}

bool RemoveFile(std::u16string_view path) {
  std::error_code ec;
  return std::filesystem::remove(UnixPath(path), ec);
}

#endif
