#include "package/File.h"

#include <system_error>

#ifdef _WIN32
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

namespace {

std::wstring Wide(std::u16string_view path) {
  return std::wstring(path.begin(), path.end());
}

DWORD Attributes(std::u16string_view path) {
  return GetFileAttributesW(Wide(path).c_str());
}

}  // namespace

bool DirectoryExists(std::u16string_view path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(std::u16string_view path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
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
  for (size_t i = start; i <= p.size(); ++i) {
    if (i < p.size() && p[i] != L'\\' && p[i] != L'/')
      continue;
    const std::wstring level = p.substr(0, i);
    if (level.size() > start && !DirectoryExists(std::u16string(level.begin(), level.end())))
      CreateDirectoryW(level.c_str(), nullptr);
  }
  return DirectoryExists(path);
}

bool IsReadOnlyFile(std::u16string_view path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (a & FILE_ATTRIBUTE_READONLY) != 0;
}

bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why) {
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::u16string t = text != nullptr ? std::u16string(reinterpret_cast<char16_t*>(text)) : u"";
  if (text != nullptr)
    LocalFree(text);
  while (!t.empty() && (t.back() == u'\r' || t.back() == u'\n' || t.back() == u' ' || t.back() == u'.'))
    t.pop_back();
  why = t.empty() ? u"error " + IntToText(static_cast<int64_t>(code)) : t;
  return false;
}

bool RemoveFile(std::u16string_view path) {
  return DeleteFileW(Wide(path).c_str()) != 0;
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
