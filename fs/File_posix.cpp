// The file layer on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <vector>

#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "fs/Native.h"

using namespace fs_native;

std::FILE* fs_native::OpenStdFile(std::u16string_view path) {
  return std::fopen(UnixPath(path).c_str(), "rb");
}

intptr_t fs_native::OpenForReading(std::u16string_view path) {
  return open(UnixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
}

bool ReadOpenFile(intptr_t native, size_t max, std::string& bytes) {
  const int fd = static_cast<int>(native);
  bytes.clear();
  if (lseek(fd, 0, SEEK_SET) != 0)
    return false;
  constexpr size_t kPiece = 64 << 10;
  while (bytes.size() <= max) {
    const size_t at = bytes.size();
    bytes.resize(at + kPiece);
    const ssize_t n = read(fd, bytes.data() + at, kPiece);
    bytes.resize(at + static_cast<size_t>(n > 0 ? n : 0));
    if (n == 0)
      return true;
    if (n < 0 && errno != EINTR)
      return false;
  }
  return false;
}

intptr_t fs_native::CreateForWriting(std::u16string_view path) {
  return open(UnixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool fs_native::WriteAll(intptr_t native, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(static_cast<int>(native), p, size);
    if (n <= 0)
      return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool fs_native::CloseNative(intptr_t native) {
  return close(static_cast<int>(native)) == 0;
}

int fs_native::SeekTo(std::FILE* f, int64_t offset) {
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
}

int64_t fs_native::Tell(std::FILE* f) {
  return static_cast<int64_t>(ftello(f));
}

void OutFile::Reserve(int64_t) {
  // Linux file systems place a file written front to back in one piece
  // anyway; reserving its blocks first (fallocate) measured no faster.
}

bool FileExists(std::u16string_view path) {
  std::error_code ec;
  const auto status = std::filesystem::status(UnixPath(path), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
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

bool HeldFile::Delete() {
  // Only while it is still the file this process made.
  const int dir = static_cast<int>(folder_->native_);
  struct stat mine, there;
  const bool same = native_ != -1 && fstat(native_, &mine) == 0 &&
                    fstatat(dir, UnixPath(name_).c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                    mine.st_ino == there.st_ino && mine.st_dev == there.st_dev;
  const bool done = same && unlinkat(dir, UnixPath(name_).c_str(), 0) == 0;
  Close();
  return done;
}

HeldFile::~HeldFile() {
  Close();
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

// ---- Held folders

namespace {

std::u16string Errno(int e) {
  return FromUtf8(std::strerror(e));
}

// Opens name in the folder dir (AT_FDCWD and a whole path for the first)
// as a folder, never following a link at name; makes it first when create
// is set. Raises LinkError or FileError; shown is the path for messages.
int OpenFolderAt(int dir, const std::string& name, bool create, const std::u16string& shown,
                 bool* made = nullptr) {
  const bool fresh = create && mkdirat(dir, name.c_str(), 0755) == 0;
  if (create && !fresh && errno != EEXIST)
    throw FileError(u"cannot create the folder " + shown + u": " + Errno(errno));
  if (made != nullptr)
    *made = fresh;
  const int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd != -1)
    return fd;
  const int e = errno;
  struct stat st;
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    throw LinkError(shown);
  throw FileError(u"cannot open the folder " + shown + u": " + Errno(e));
}

}  // namespace

HeldFolder::~HeldFolder() {
  close(static_cast<int>(native_));
}

HeldFolder::Entry HeldFolder::Look(std::u16string_view name) const {
  Entry entry;
  struct stat st;
  if (fstatat(static_cast<int>(native_), UnixPath(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return entry;
  entry.exists = true;
  entry.link = S_ISLNK(st.st_mode);
  entry.folder = S_ISDIR(st.st_mode);
  entry.readOnly = !entry.link && (st.st_mode & S_IWUSR) == 0;
  return entry;
}

intptr_t FolderTree::OpenFollowing(const std::u16string& path) {
  const std::string unix = UnixPath(path);
  const int fd = open(unix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1 && errno == ENOENT)
    return -1;
  if (fd == -1)
    throw FileError(u"cannot open the folder " + path + u": " + Errno(errno));
  return fd;
}

const char16_t fs_native::kSeparators[] = u"\\/";

std::u16string fs_native::WholePath(std::u16string_view path) {
  if (!path.empty() && (path[0] == u'/' || path[0] == u'\\'))
    return std::u16string(path);
  char here[PATH_MAX];
  if (getcwd(here, sizeof here) == nullptr)
    throw FileError(u"cannot tell the current folder: " + Errno(errno));
  std::u16string whole = FromUtf8(here);
  if (whole.back() != u'/')
    whole += u'/';
  return whole + std::u16string(path);
}

size_t fs_native::TopLength(std::u16string_view) {
  return 1;
}

intptr_t fs_native::OpenTop(const std::u16string& top) {
  const int fd = open(UnixPath(top).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1)
    throw FileError(u"cannot open the folder " + top + u": " + Errno(errno));
  return fd;
}

namespace {

// Root's, or this account's.
bool Trusted(uid_t owner) {
  return owner == 0 || owner == geteuid();
}

}  // namespace

intptr_t fs_native::OpenOnTheWay(intptr_t parent, std::u16string_view name, bool last,
                                 const std::u16string& shown, bool& strange) {
  strange = false;
  const int dir = static_cast<int>(parent);
  const std::string level = UnixPath(name);
  struct stat st;
  if (fstatat(dir, level.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT)
      return -1;
    throw FileError(u"cannot open the folder " + shown + u": " + Errno(errno));
  }
  if (S_ISLNK(st.st_mode)) {
    if (last)
      throw LinkError(shown);
    strange = !Trusted(st.st_uid);
    const int fd = openat(dir, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1) {
      if (errno == ENOENT)
        return -1;
      throw FileError(u"cannot open the folder " + shown + u": " + Errno(errno));
    }
    return fd;
  }
  return OpenFolderAt(dir, level, false, shown);
}

bool fs_native::OthersMayChangeAt(intptr_t folder, bool contents) {
  struct stat st;
  if (fstat(static_cast<int>(folder), &st) != 0 || !Trusted(st.st_uid))
    return true;
  // Written by its group (unless that is root's) or by anyone: they may
  // rename and delete what is in it, unless it is sticky, where only the
  // owner of an entry may; add to it, sticky or not.
  const bool groupWrites = (st.st_mode & S_IWGRP) != 0 && st.st_gid != 0;
  const bool othersWrite = (st.st_mode & S_IWOTH) != 0;
  if (!groupWrites && !othersWrite)
    return false;
  return contents || (st.st_mode & S_ISVTX) == 0;
}

intptr_t fs_native::OpenLevelAt(intptr_t parent, std::u16string_view name, bool create,
                                const std::u16string& shown, bool& made) {
  return OpenFolderAt(static_cast<int>(parent), UnixPath(name), create, shown, &made);
}

bool fs_native::RemoveEmptyFolderAt(intptr_t folder, std::u16string_view name) {
  return unlinkat(static_cast<int>(folder), UnixPath(name).c_str(), AT_REMOVEDIR) == 0;
}

void FolderTree::Sync() {
  fsync(static_cast<int>(root_->native_));
  for (const Level& l : levels_)
    fsync(static_cast<int>(l.folder->native_));
}

HeldEntry::HeldEntry(HeldFolder& folder, std::u16string_view name, Hold how)
    : folder_(folder), name_(name) {
  Check(folder, name, how);
  if (how == Hold::kReplace)
    return;
  // Nothing stops another program here; another run of ours locks its
  // journal, which a shared hold respects (a link is not opened, and not
  // locked).
  const int fd = openat(static_cast<int>(folder.native_), UnixPath(name).c_str(),
                        O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd == -1)
    return;
  if (flock(fd, (how == Hold::kLock ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    close(fd);
    throw FileError(u"cannot open " + folder.Path() + name_ +
                    u" (is it in use?): another run holds it");
  }
  native_ = fd;
}

HeldEntry::~HeldEntry() {
  if (native_ != -1)
    close(static_cast<int>(native_));
}

std::string HeldEntry::Read(size_t max) {
  const int fd = native_ != -1 ? dup(static_cast<int>(native_))
                               : openat(static_cast<int>(folder_.native_), UnixPath(name_).c_str(),
                                        O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd == -1 || lseek(fd, 0, SEEK_SET) != 0) {
    const int e = errno;
    if (fd != -1)
      close(fd);
    throw FileError(u"cannot read " + folder_.Path() + name_ + u": " + Errno(e));
  }
  std::string bytes;
  const bool read = ReadOpenFile(fd, max, bytes);
  close(fd);
  if (!read && bytes.size() <= max)
    throw FileError(u"cannot read " + folder_.Path() + name_);
  if (bytes.size() > max)
    throw FileError(folder_.Path() + name_ + u" is larger than " + IntToText(int64_t(max)) +
                    u" bytes");
  return bytes;
}

void HeldEntry::Rename(std::u16string_view to, bool replace) {
  const int dir = static_cast<int>(folder_.native_);
  const std::string from = UnixPath(name_), target = UnixPath(to);
  const int rc = replace ? renameat(dir, from.c_str(), dir, target.c_str())
                         : renameat2(dir, from.c_str(), dir, target.c_str(), RENAME_NOREPLACE);
  if (rc != 0) {
    throw FileError(u"cannot rename " + folder_.Path() + name_ + u" to " + std::u16string(to) +
                    u": " + Errno(errno));
  }
  name_ = to;
}

bool HeldEntry::OwnedByTrusted() const {
  struct stat st;
  const int rc = native_ != -1 ? fstat(static_cast<int>(native_), &st)
                               : fstatat(static_cast<int>(folder_.native_), UnixPath(name_).c_str(),
                                         &st, AT_SYMLINK_NOFOLLOW);
  return rc == 0 && (st.st_uid == 0 || st.st_uid == geteuid());
}

bool HeldEntry::Delete() {
  return unlinkat(static_cast<int>(folder_.native_), UnixPath(name_).c_str(), 0) == 0;
}

void NewFile::Create(std::u16string_view temp, bool retry) {
  const int dir = static_cast<int>(folder_.native_);
  int fd = -1;
  for (int attempt = 0; attempt < (retry ? 64 : 1) && fd == -1; ++attempt) {
    temp_ = retry ? TempName(temp) : std::u16string(temp);
    fd = openat(dir, UnixPath(temp_).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0644);
    if (fd == -1 && errno != EEXIST)
      break;
  }
  if (fd == -1) {
    throw FileError(u"cannot create " + folder_.Path() + temp_ + u": " + Errno(errno));
  }
  native_ = fd;
  try {
    out_.reset(new OutFile(native_, folder_.Path() + temp_));
  } catch (...) {
    unlinkat(dir, UnixPath(temp_).c_str(), 0);
    close(fd);
    throw;
  }
}

NewFile::~NewFile() {
  out_.reset();
  if (!placed_) {
    // Only while the name is still this file's.
    struct stat mine {
    }, there{};
    const bool open = native_ != -1;
    if (open && fstat(static_cast<int>(native_), &mine) == 0) {
      identity_[0] = mine.st_dev;
      identity_[1] = mine.st_ino;
    }
    if (fstatat(static_cast<int>(folder_.native_), UnixPath(temp_).c_str(), &there,
                AT_SYMLINK_NOFOLLOW) == 0 &&
        identity_[1] == there.st_ino && identity_[0] == there.st_dev) {
      unlinkat(static_cast<int>(folder_.native_), UnixPath(temp_).c_str(), 0);
    }
  }
  if (native_ != -1)
    close(static_cast<int>(native_));
}

void NewFile::Finish(bool flush) {
  // Not flushed, its bytes go to the disk in the system's own time: nothing
  // here waits for them or sets them going.
  out_->Close();
  if (flush)
    Flush();
  else
    CloseWritten();
}

void NewFile::FinishUnflushed() {
  out_->Close();
  // Write-back starts now, while the next file is inflated; a failure here
  // shows again in Flush, which is what counts.
  if (native_ != -1)
    sync_file_range(static_cast<int>(native_), 0, 0, SYNC_FILE_RANGE_WRITE);
}

void NewFile::Flush() {
  if (native_ == -1)
    return;
  if (fdatasync(static_cast<int>(native_)) != 0)
    throw FileError(u"cannot write " + folder_.Path() + temp_ + u": " + Errno(errno));
  CloseWritten();
}

void NewFile::CloseWritten() {
  // Renamed by its name from here on: a run of many files keeps no
  // descriptor of each open.
  const int fd = static_cast<int>(native_);
  if (fd == -1)
    return;
  struct stat mine {};
  if (fstat(fd, &mine) == 0) {
    identity_[0] = mine.st_dev;
    identity_[1] = mine.st_ino;
  }
  close(fd);
  native_ = -1;
}

bool NewFile::Unplace() {
  if (!placed_)
    return true;
  const int dir = static_cast<int>(folder_.native_);
  if (renameat2(dir, UnixPath(name_).c_str(), dir, UnixPath(temp_).c_str(), RENAME_NOREPLACE) != 0)
    return false;
  placed_ = false;
  return true;
}

bool NewFile::Place(bool replace) {
  out_->Close();
  const int dir = static_cast<int>(folder_.native_);
  const std::string from = UnixPath(temp_), to = UnixPath(name_);
  if (replace) {
    if (renameat(dir, from.c_str(), dir, to.c_str()) != 0) {
      throw FileError(u"cannot replace " + folder_.Path() + name_ + u": " + Errno(errno));
    }
  } else {
    // Only where nothing is; where the file system cannot say so in the
    // rename, a second name for the file, and then its own goes.
    int rc = renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      rc = linkat(dir, from.c_str(), dir, to.c_str(), 0);
      if (rc == 0)
        unlinkat(dir, from.c_str(), 0);
    }
    if (rc != 0 && errno == EEXIST)
      return false;
    if (rc != 0)
      throw FileError(u"cannot create " + folder_.Path() + name_ + u": " + Errno(errno));
  }
  placed_ = true;
  return true;
}

HeldFile::HeldFile(HeldFolder& folder, std::u16string_view name)
    : path_(folder.Path() + std::u16string(name)), folder_(&folder), name_(name) {
  const int dir = static_cast<int>(folder.native_);
  std::u16string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 64 && fd == -1; ++attempt) {
    temp = TempName(name);
    fd = openat(dir, UnixPath(temp).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0644);
    if (fd == -1 && errno != EEXIST)
      break;
  }
  if (fd == -1)
    throw FileError(u"cannot create " + folder.Path() + temp + u": " + Errno(errno));
  const std::string target = UnixPath(name);
  if (folder.Look(name).folder)
    unlinkat(dir, target.c_str(), AT_REMOVEDIR);
  // renameat replaces a file or a link (the link itself) and fails on a
  // folder.
  if (renameat(dir, UnixPath(temp).c_str(), dir, target.c_str()) != 0) {
    const int e = errno;
    unlinkat(dir, UnixPath(temp).c_str(), 0);
    close(fd);
    throw FileError(u"cannot create " + path_ + u": " + Errno(e));
  }
  native_ = fd;
}
