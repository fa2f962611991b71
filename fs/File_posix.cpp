// The file layer on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "fs/Native.h"

using namespace fs_native;

std::FILE* fs_native::OpenStdFile(std::u16string_view path, bool write) {
  return std::fopen(UnixPath(path).c_str(), write ? "wb" : "rb");
}

int fs_native::SeekTo(std::FILE* f, int64_t offset) {
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
}

int64_t fs_native::Tell(std::FILE* f) {
  return static_cast<int64_t>(ftello(f));
}

uint64_t fs_native::ProcessId() {
  return static_cast<uint64_t>(getpid());
}

void OutFile::Reserve(int64_t) {
  // Linux file systems place a file written front to back in one piece
  // anyway; reserving its blocks first (fallocate) measured no faster.
}

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

std::FILE* fs_native::CreateNewFile(std::u16string_view path, bool& existed) {
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
  native_ = fd;
}

bool HeldFile::Delete() {
  // Only while it is still the file this process made.
  struct stat mine, there;
  const bool same = native_ != -1 && fstat(native_, &mine) == 0 &&
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
    const ssize_t n = native_ == -1 ? -1 : write(native_, p, size);
    if (n <= 0)
      throw FileError(u"cannot write " + path_);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

std::unique_ptr<InFile> HeldFile::Reader() const {
  const int fd = native_ == -1 ? -1 : dup(native_);
  if (fd == -1)
    throw FileError(u"cannot read " + path_);
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr)
    close(fd);
  return std::make_unique<InFile>(f, path_);
}

void HeldFile::Close() {
  if (native_ != -1)
    close(native_);
  native_ = -1;
}
