#include "package/File.h"

#include <algorithm>
#include <system_error>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <wchar.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// A name beside target for a file of this process: it differs between
// calls, processes and runs.
std::u16string TempName(std::u16string_view target, int attempt) {
  static std::atomic<uint32_t> counter{0};
  static const char16_t kHex[] = u"0123456789abcdef";
  const auto now =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                            std::chrono::system_clock::now().time_since_epoch().count());
#ifdef _WIN32
  const uint64_t pid = GetCurrentProcessId();
#else
  const uint64_t pid = static_cast<uint64_t>(getpid());
#endif
  uint64_t x = now ^ (pid << 32) ^ (uint64_t{counter++} * 0x9E3779B97F4A7C15ull) ^
               static_cast<uint64_t>(attempt);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  std::u16string name(target);
  name += u'.';
  for (int i = 0; i < 8; ++i)
    name += kHex[(x >> (4 * i)) & 0xF];
  name += u".stp-part";
  return name;
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

InFile::InFile(std::FILE* adopted, std::u16string_view name) : file_(adopted) {
  if (file_ == nullptr)
    throw FileError(u"cannot open " + std::u16string(name));
  if (std::fseek(file_, 0, SEEK_END) != 0 || (size_ = Tell(file_)) < 0 || SeekTo(file_, 0) != 0) {
    std::fclose(file_);
    throw FileError(u"cannot read " + std::u16string(name));
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

OutFile::OutFile(std::FILE* adopted, std::u16string_view path) : path_(path), file_(adopted) {
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

// The C runtime's wide calls, and the system's own where the runtime has
// nothing that will do: replacing a file in one step, exclusive creation
// without following links, sharing modes, reparse points.
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
  if (p.size() > 1 && (p.back() == L'\\' || p.back() == L'/') && !(p.size() == 3 && p[1] == L':')) {
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

std::u16string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result;
  if (n > 0 && text != nullptr)
    result.assign(text, text + n);
  if (text != nullptr)
    LocalFree(text);
  while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r' ||
                             result.back() == u' ' || result.back() == u'.')) {
    result.pop_back();
  }
  return result.empty() ? u"system error " + IntToText(code) : result;
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
  // One step: the target is replaced whole or not at all, and the system
  // refuses when it is in use (a running program's image may be renamed but
  // not replaced), so no second copy of it is ever left behind.
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  why = SystemText(GetLastError());
  return false;
}

bool IsLink(std::u16string_view path) {
  // Asked without a final "\" (with it, the system may answer for what a
  // link points to); a name that ends in a blank or a dot is then asked in
  // the form that the system does not trim.
  std::wstring p = Wide(path);
  while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/'))
    p.pop_back();
  if (!p.empty() && (p.back() == L' ' || p.back() == L'.') && p.size() > 2 && p[1] == L':')
    p = L"\\\\?\\" + p;
  const DWORD attributes = GetFileAttributesW(p.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

// Creates a new file for writing; never opens what exists at the name.
// existed tells a name that is taken from other failures.
std::FILE* CreateNewFile(std::u16string_view path, bool& existed) {
  existed = false;
  const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    existed = e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS || e == ERROR_ACCESS_DENIED;
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(h);
    DeleteFileW(Wide(path).c_str());
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) {
    _close(fd);
    DeleteFileW(Wide(path).c_str());
  }
  return f;
}

}  // namespace

namespace {

// The system's native call that renames or deletes a file through a handle
// already open on it (the documented wrappers need Vista), looked up by name.
struct IoStatus {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
using SetInformationFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);

SetInformationFile NativeSetInformation() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr ? nullptr
                          : reinterpret_cast<SetInformationFile>(reinterpret_cast<void (*)()>(
                                GetProcAddress(ntdll, "NtSetInformationFile")));
}

bool RenameHandle(HANDLE h, const std::wstring& to) {
  const SetInformationFile set = NativeSetInformation();
  if (set == nullptr)
    return false;
  // FILE_RENAME_INFORMATION: replace if exists, no root, the length in
  // bytes, the full name in the system's own form.
  const std::wstring name = L"\\??\\" + to;
  struct Header {
    BOOLEAN replace;
    HANDLE root;
    ULONG length;
  };
  std::vector<char> info(offsetof(Header, length) + sizeof(ULONG) + (name.size() + 1) * 2 + 16);
  Header* header = reinterpret_cast<Header*>(info.data());
  header->replace = TRUE;
  header->root = nullptr;
  header->length = static_cast<ULONG>(name.size() * 2);
  std::memcpy(info.data() + offsetof(Header, length) + sizeof(ULONG), name.c_str(),
              name.size() * 2);
  IoStatus io{};
  return set(h, &io, info.data(), static_cast<ULONG>(info.size()),
             10 /* FileRenameInformation */) >= 0;
}

bool DeleteHandle(HANDLE h) {
  const SetInformationFile set = NativeSetInformation();
  BOOLEAN disposition = TRUE;
  IoStatus io{};
  return set != nullptr &&
         set(h, &io, &disposition, sizeof disposition, 13 /* FileDispositionInformation */) >= 0;
}

}  // namespace

HeldFile::HeldFile(std::u16string_view path) : path_(path) {
  HANDLE h = INVALID_HANDLE_VALUE;
  std::u16string temp;
  for (int attempt = 0; attempt < 64 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = TempName(path, attempt);
    // Others may read it; nobody may write, rename or delete it while it is
    // open. Nothing at its name is opened or followed.
    h = CreateFileW(Wide(temp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  if (h == INVALID_HANDLE_VALUE)
    throw FileError(u"cannot create " + temp + u": " + SystemText(GetLastError()));
  // A folder at the name: a link to one goes (the link, not what it points
  // to), and so does an empty one; one with something in it stays and the
  // move below fails.
  const std::wstring target = Wide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    RemoveDirectoryW(target.c_str());
  if (!RenameHandle(h, target)) {
    DeleteHandle(h);
    CloseHandle(h);
    throw FileError(u"cannot create " + path_ + u": something that cannot be replaced is there");
  }
  handle_ = h;
}

bool HeldFile::Delete() {
  const bool done = handle_ != nullptr && DeleteHandle(handle_);
  Close();
  return done;
}

HeldFile::~HeldFile() {
  Close();
}

void HeldFile::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    DWORD written = 0;
    if (handle_ == nullptr || !WriteFile(handle_, p, chunk, &written, nullptr) || written == 0)
      throw FileError(u"cannot write " + path_);
    p += written;
    size -= written;
  }
}

std::unique_ptr<InFile> HeldFile::Reader() const {
  HANDLE dup = nullptr;
  if (handle_ == nullptr || !DuplicateHandle(GetCurrentProcess(), handle_, GetCurrentProcess(),
                                             &dup, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    throw FileError(u"cannot read " + path_);
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(dup), _O_RDONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(dup);
    throw FileError(u"cannot read " + path_);
  }
  std::FILE* f = _fdopen(fd, "rb");
  if (f == nullptr)
    _close(fd);
  return std::make_unique<InFile>(f, path_);
}

void HeldFile::Close() {
  if (handle_ != nullptr)
    CloseHandle(handle_);
  handle_ = nullptr;
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

bool IsLink(std::u16string_view path) {
  std::string p = UnixPath(path);
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  struct stat st;
  return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

namespace {

std::FILE* CreateNewFile(std::u16string_view path, bool& existed) {
  existed = false;
  const int fd =
      open(UnixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd == -1) {
    existed = errno == EEXIST || errno == ELOOP || errno == EISDIR;
    return nullptr;
  }
  std::FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    close(fd);
    unlink(UnixPath(path).c_str());
  }
  return f;
}

}  // namespace

HeldFile::HeldFile(std::u16string_view path) : path_(path) {
  std::u16string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 64 && fd == -1; ++attempt) {
    temp = TempName(path, attempt);
    fd = open(UnixPath(temp).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd == -1 && errno != EEXIST)
      break;
  }
  if (fd == -1)
    throw FileError(u"cannot create " + temp + u": " + FromUtf8(std::strerror(errno)));
  const std::string target = UnixPath(path);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    rmdir(target.c_str());
  // rename replaces a file or a link (the link itself) and fails on a folder.
  if (rename(UnixPath(temp).c_str(), target.c_str()) != 0) {
    const int e = errno;
    unlink(UnixPath(temp).c_str());
    close(fd);
    throw FileError(u"cannot create " + path_ + u": " + FromUtf8(std::strerror(e)));
  }
  fd_ = fd;
}

bool HeldFile::Delete() {
  // Only while it is still the file this process made.
  struct stat mine, there;
  const bool same = fd_ != -1 && fstat(fd_, &mine) == 0 &&
                    lstat(UnixPath(path_).c_str(), &there) == 0 && mine.st_ino == there.st_ino &&
                    mine.st_dev == there.st_dev;
  const bool done = same && unlink(UnixPath(path_).c_str()) == 0;
  Close();
  return done;
}

HeldFile::~HeldFile() {
  Close();
}

void HeldFile::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = fd_ == -1 ? -1 : write(fd_, p, size);
    if (n <= 0)
      throw FileError(u"cannot write " + path_);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

std::unique_ptr<InFile> HeldFile::Reader() const {
  const int fd = fd_ == -1 ? -1 : dup(fd_);
  if (fd == -1)
    throw FileError(u"cannot read " + path_);
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr)
    close(fd);
  return std::make_unique<InFile>(f, path_);
}

void HeldFile::Close() {
  if (fd_ != -1)
    close(fd_);
  fd_ = -1;
}

#endif

std::u16string FindLink(std::u16string_view base, std::u16string_view rel, bool withBase) {
  if (withBase && IsLink(base))
    return std::u16string(base);
  for (size_t cut = 0; cut < rel.size();) {
    size_t end = rel.find(u'\\', cut);
    if (end == std::u16string_view::npos)
      end = rel.size();
    const std::u16string level = std::u16string(base) + std::u16string(rel.substr(0, end));
    if (IsLink(level))
      return level;
    cut = end + 1;
  }
  return u"";
}

std::u16string CreateTempBeside(std::u16string_view target, std::unique_ptr<OutFile>& out) {
  // A name that is taken is left alone and the next is tried.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::u16string name = TempName(target, attempt);
    bool existed = false;
    std::FILE* f = CreateNewFile(name, existed);
    if (f != nullptr) {
      out = std::make_unique<OutFile>(f, name);
      return name;
    }
    if (!existed)
      break;
  }
  throw FileError(u"cannot create a temporary file beside " + std::u16string(target));
}
