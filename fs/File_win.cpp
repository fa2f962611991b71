// The file layer on Windows: the C runtime's wide calls, and the system's
// own where the runtime has nothing that will do: replacing a file in one
// step, exclusive creation without following links, sharing modes, reparse
// points.
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <wchar.h>
#include <windows.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "fs/Native.h"
#include "win/Api.h"
#include "win/Flusher.h"
#include "win/FolderTree.h"
#include "win/Security.h"
#include "win/SystemPath.h"
#include "win/SystemText.h"

using namespace fs_native;

std::FILE* fs_native::OpenStdFile(std::u16string_view path) {
  return _wfopen(WidePath(path).c_str(), L"rb");
}

intptr_t fs_native::OpenForReading(std::u16string_view path) {
  // As the runtime's "rb": others may read and write it meanwhile.
  const HANDLE h =
      CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

bool ReadOpenFile(intptr_t native, size_t max, std::string& bytes) {
  const HANDLE h = reinterpret_cast<HANDLE>(native);
  bytes.clear();
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN))
    return false;
  constexpr DWORD kPiece = 64 << 10;
  while (bytes.size() <= max) {
    const size_t at = bytes.size();
    bytes.resize(at + kPiece);
    DWORD got = 0;
    const BOOL read = ReadFile(h, bytes.data() + at, kPiece, &got, nullptr);
    bytes.resize(at + got);
    if (!read)
      return false;
    if (got == 0)
      return true;
  }
  return false;
}

intptr_t fs_native::CreateForWriting(std::u16string_view path) {
  // As the runtime's "wb": others may read and write it meanwhile.
  const HANDLE h =
      CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

bool fs_native::WriteAll(intptr_t native, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(native), p, chunk, &written, nullptr) || written == 0)
      return false;
    p += written;
    size -= written;
  }
  return true;
}

bool fs_native::CloseNative(intptr_t native) {
  return CloseHandle(reinterpret_cast<HANDLE>(native)) != 0;
}

int fs_native::SeekTo(std::FILE* f, int64_t offset) {
  return _fseeki64(f, offset, SEEK_SET);
}

int64_t fs_native::Tell(std::FILE* f) {
  return _ftelli64(f);
}

void OutFile::Reserve(int64_t size) {
  if (size <= 0)
    return;
  // The end of the file moves, the data written so far does not: the system
  // fills nothing in, and the writes that follow carry the bytes.
  const HANDLE h = native_ == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(native_);
  LARGE_INTEGER end, start;
  end.QuadPart = size;
  start.QuadPart = 0;
  if (h == INVALID_HANDLE_VALUE || !Drain() || !SetFilePointerEx(h, end, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(h) || !SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
    throw FileError(u"no room for the " + IntToText(size) + u" bytes of " + path_);
  }
}

namespace {

HANDLE Native(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}
// The runtime's stat does not take a folder with a final "\" (other than a
// drive's root), and without the "\" a name that ends in a blank would be
// the path's last part, which the system trims. Such a folder exists when
// it can be listed.
bool Stat(std::u16string_view path, struct _stat64& st) {
  const std::wstring p = WidePath(path);
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

}  // namespace

bool FileExists(std::u16string_view path) {
  struct _stat64 st;
  return Stat(path, st) && (st.st_mode & _S_IFREG) != 0;
}

bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why) {
  // One step: the target is replaced whole or not at all, and the system
  // refuses when it is in use (a running program's image may be renamed but
  // not replaced), so no second copy of it is ever left behind.
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  why = SystemErrorTextOr(GetLastError());
  return false;
}

bool HeldFile::Delete() {
  const bool done = native_ != -1 && win::DeleteThrough(Native(native_));
  Close();
  return done;
}

HeldFile::~HeldFile() {
  Close();
}

std::unique_ptr<InFile> HeldFile::Reader() const {
  HANDLE dup = nullptr;
  if (native_ == -1 || !DuplicateHandle(GetCurrentProcess(), Native(native_), GetCurrentProcess(),
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
  if (native_ != -1)
    CloseHandle(Native(native_));
  native_ = -1;
}

bool RemoveFile(std::u16string_view path) {
  return _wremove(WidePath(path).c_str()) == 0;
}

// ---- Held folders (win/FolderTree.h)

namespace {

// Opens (or makes) one level below a held folder. shown ends without "\".
win::Handle EnterLevel(HANDLE parent, std::u16string_view name, bool create,
                       const std::u16string& shown, bool* made = nullptr) {
  win::Handle h;
  bool link = false;
  const LONG status = win::OpenHeldFolder(parent, name, create, h, link, made);
  if (link)
    throw LinkError(shown);
  if (status < 0)
    throw FileError(u"cannot open the folder " + shown + u": " + NtStatusText(status));
  return h;
}

intptr_t TakeHandle(win::Handle& h) {
  return reinterpret_cast<intptr_t>(h.release());
}

}  // namespace

HeldFolder::~HeldFolder() {
  CloseHandle(Native(native_));
}

HeldFolder::Entry HeldFolder::Look(std::u16string_view name) const {
  const win::Found found = win::LookAt(Native(native_), name);
  return {found.exists, found.folder, found.link, found.readOnly};
}

const char16_t fs_native::kSeparators[] = u"\\";

std::u16string fs_native::WholePath(std::u16string_view root) {
  // With "\" only, as the system's own calls would read it.
  return ExpandFileName(std::u16string(root));
}

size_t fs_native::TopLength(std::u16string_view path) {
  // "\\server\share\", or "C:\".
  if (path.size() > 2 && path[0] == u'\\' && path[1] == u'\\') {
    const size_t server = path.find(u'\\', 2);
    const size_t share =
        server == std::u16string_view::npos ? server : path.find(u'\\', server + 1);
    return share == std::u16string_view::npos ? path.size() : share + 1;
  }
  return std::min<size_t>(path.size(), 3);
}

intptr_t fs_native::OpenTop(const std::u16string& top) {
  win::Handle h = win::OpenFolderByPath(top);
  if (!h)
    throw FileError(u"cannot open the folder " + top + u": " + SystemErrorTextOr(GetLastError()));
  return TakeHandle(h);
}

intptr_t fs_native::OpenOnTheWay(intptr_t parent, std::u16string_view name, bool last,
                                 const std::u16string& shown, bool& strange) {
  strange = false;
  win::Handle h;
  bool link = false;
  LONG status = win::OpenHeldFolder(Native(parent), name, false, h, link);
  if (link) {
    if (last)
      throw LinkError(shown);
    strange = !win::LinkOwnedByAdministrators(Native(parent), name);
    status = win::OpenFolderFollowing(Native(parent), name, h);
  }
  if (status == win::kStatusObjectNameNotFound || status == win::kStatusObjectPathNotFound)
    return -1;
  if (status < 0)
    throw FileError(u"cannot open the folder " + shown + u": " + NtStatusText(status));
  return TakeHandle(h);
}

bool fs_native::OthersMayChangeAt(intptr_t folder, bool contents) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(Native(folder), SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &sd) != ERROR_SUCCESS) {
    return true;
  }
  const bool may = win::OthersMayChange(sd, win::SelfSid(), contents);
  LocalFree(sd);
  return may;
}

intptr_t FolderTree::OpenFollowing(const std::u16string& path) {
  std::u16string base = path.substr(0, path.size() - 1);
  if (base.size() == 2 && base[1] == u':')
    base += u'\\';
  win::Handle h = win::OpenFolderByPath(base);
  const DWORD error = GetLastError();
  if (!h && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
    return -1;
  if (!h)
    throw FileError(u"cannot open the folder " + path + u": " + SystemErrorTextOr(error));
  return TakeHandle(h);
}

intptr_t fs_native::OpenLevelAt(intptr_t parent, std::u16string_view name, bool create,
                                const std::u16string& shown, bool& made) {
  win::Handle h = EnterLevel(Native(parent), name, create, shown, &made);
  return TakeHandle(h);
}

bool fs_native::RemoveEmptyFolderAt(intptr_t folder, std::u16string_view name) {
  return win::RemoveFolderAt(Native(folder), name);
}

void FolderTree::Sync() {
  // NTFS logs every change to a folder's entries and writes its log in
  // order; a folder cannot be flushed without being opened for writing.
}

HeldEntry::HeldEntry(HeldFolder& folder, std::u16string_view name, Hold how)
    : folder_(folder), name_(name) {
  Check(folder, name, how);
  const bool exclusive = how == Hold::kReplace || how == Hold::kLock;
  win::Handle h;
  const LONG status = win::HoldFileAt(Native(folder.native_), name,
                                      how == Hold::kUntilClosed ? win::FileHold::kUntilClosed
                                      : exclusive               ? win::FileHold::kExclusive
                                                                : win::FileHold::kShared,
                                      h);
  if (status < 0) {
    throw FileError(u"cannot " + std::u16string(exclusive ? u"replace " : u"open ") +
                    folder.Path() + name_ + u" (is it in use?): " + NtStatusText(status));
  }
  native_ = TakeHandle(h);
}

HeldEntry::~HeldEntry() {
  if (native_ != -1)
    CloseHandle(Native(native_));
}

std::string HeldEntry::Read(size_t max) {
  // A failure to read ends the reading: what was read is the answer.
  std::string bytes;
  ReadOpenFile(native_, max, bytes);
  if (bytes.size() > max)
    throw FileError(folder_.Path() + name_ + u" is larger than " + IntToText(int64_t(max)) +
                    u" bytes");
  return bytes;
}

void HeldEntry::Rename(std::u16string_view to, bool replace) {
  const LONG status = win::RenameAt(Native(native_), Native(folder_.native_), to, replace);
  if (status < 0) {
    throw FileError(u"cannot rename " + folder_.Path() + name_ + u" to " + std::u16string(to) +
                    u": " + NtStatusText(status));
  }
  name_ = to;
}

bool HeldEntry::OwnedByTrusted() const {
  return native_ != -1 && win::OwnedByAdministrators(Native(native_), true);
}

bool HeldEntry::Delete() {
  const bool done = win::DeleteThrough(Native(native_));
  CloseHandle(Native(native_));
  native_ = -1;
  return done;
}

void NewFile::Create(std::u16string_view temp, bool retry) {
  win::Handle h;
  LONG status = 0;
  for (int attempt = 0; attempt < (retry ? 64 : 1); ++attempt) {
    temp_ = retry ? TempName(temp) : std::u16string(temp);
    status = win::CreateNewAt(Native(folder_.native_), temp_, h);
    if (status != win::kStatusObjectNameCollision)
      break;
  }
  if (status < 0) {
    throw FileError(u"cannot create " + folder_.Path() + temp_ + u": " + NtStatusText(status));
  }
  native_ = TakeHandle(h);
  try {
    out_.reset(new OutFile(native_, folder_.Path() + temp_));
  } catch (...) {
    win::DeleteThrough(Native(native_));
    CloseHandle(Native(native_));
    throw;
  }
}

NewFile::~NewFile() {
  out_.reset();
  win::Release(flushing_);
  if (!placed_)
    win::DeleteThrough(Native(native_));
  CloseHandle(Native(native_));
}

void NewFile::Finish(bool flush) {
  out_->Close();
  if (flush)
    Flush();
}

void NewFile::FinishUnflushed() {
  // The handle stays open until the file goes; the flusher's thread writes
  // the bytes through meanwhile (or Flush does, when it has no thread).
  out_->Close();
  if (flushing_ == nullptr)
    flushing_ = win::QueueFlush(Native(native_));
}

void NewFile::Flush() {
  DWORD error = ERROR_SUCCESS;
  if (flushing_ != nullptr)
    error = win::Await(*flushing_);
  else if (!FlushFileBuffers(Native(native_)))
    error = GetLastError();
  if (error != ERROR_SUCCESS)
    throw FileError(u"cannot write " + folder_.Path() + temp_ + u": " + SystemErrorTextOr(error));
}

bool NewFile::Unplace() {
  if (!placed_)
    return true;
  if (win::RenameAt(Native(native_), Native(folder_.native_), temp_, false) < 0)
    return false;
  placed_ = false;
  return true;
}

bool NewFile::Place(bool replace) {
  out_->Close();
  // Moved only once the flusher is done with it; what the flush found,
  // Flush tells.
  if (flushing_ != nullptr)
    win::Await(*flushing_);
  const LONG status = win::RenameAt(Native(native_), Native(folder_.native_), name_, replace);
  if (!replace && status == win::kStatusObjectNameCollision)
    return false;
  if (status < 0) {
    throw FileError(u"cannot replace " + folder_.Path() + name_ + u" (is it in use?): " +
                    NtStatusText(status));
  }
  placed_ = true;
  return true;
}

HeldFile::HeldFile(HeldFolder& folder, std::u16string_view name)
    : path_(folder.Path() + std::u16string(name)), folder_(&folder), name_(name) {
  const HANDLE dir = Native(folder.native_);
  win::Handle h;
  LONG status = 0;
  std::u16string temp;
  for (int attempt = 0; attempt < 64; ++attempt) {
    temp = TempName(name);
    status = win::CreateNewAt(dir, temp, h);
    if (status != win::kStatusObjectNameCollision)
      break;
  }
  if (status < 0)
    throw FileError(u"cannot create " + folder.Path() + temp + u": " + NtStatusText(status));
  // A folder at the name: a link to one goes (the link, not what it points
  // to), and so does an empty one; one with something in it stays and the
  // move below fails.
  if (folder.Look(name).folder)
    win::RemoveFolderAt(dir, name);
  if (win::RenameAt(h.get(), dir, name, true) < 0) {
    win::DeleteThrough(h.get());
    throw FileError(u"cannot create " + path_ + u": something that cannot be replaced is there");
  }
  native_ = TakeHandle(h);
}
