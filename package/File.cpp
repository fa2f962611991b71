#include "package/File.h"

#include <system_error>

#include "common/Errors.h"
#include "common/Text.h"

namespace {

std::FILE* OpenFile(std::u16string_view path, bool write) {
#ifdef _WIN32
  const std::wstring wide(path.begin(), path.end());
  return _wfopen(wide.c_str(), write ? L"wb" : L"rb");
#else
  return std::fopen(ToFsPath(path).c_str(), write ? "wb" : "rb");
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

std::filesystem::path ToFsPath(std::u16string_view path) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(path.begin(), path.end()));
#else
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
  return std::filesystem::path(ToUtf8(p));
#endif
}

std::u16string FromFsPath(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& w = path.native();
  return std::u16string(w.begin(), w.end());
#else
  std::u16string p = FromUtf8(path.native());
  for (auto& c : p) {
    if (c == u'/')
      c = u'\\';
  }
  return p;
#endif
}

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

bool DirectoryExists(std::u16string_view path) {
  std::error_code ec;
  return std::filesystem::is_directory(ToFsPath(path), ec);
}

bool FileExists(std::u16string_view path) {
  std::error_code ec;
  const auto status = std::filesystem::status(ToFsPath(path), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool ForceDirectories(std::u16string_view path) {
  std::error_code ec;
  const auto p = ToFsPath(path);
  std::filesystem::create_directories(p, ec);
  return std::filesystem::is_directory(p, ec);
}
