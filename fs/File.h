// Files addressed by Windows-style UTF-16 paths. Paths are built with "\" as
// on Windows; off Windows each "\" becomes "/" where a path meets the file
// system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where a path changes its spelling: fs/Path_*.cpp for the system's calls,
// fs/FsPath_*.cpp (apart, so that programs which never meet a
// std::filesystem path do not link its library code) for these.
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& path);
// A C file on a std::filesystem path, for reading ("rb") or writing ("wb");
// nullptr when it cannot be opened.
std::FILE* OpenStdFile(const std::filesystem::path& path, bool write);

class HeldFolder;
namespace win {
struct QueuedFlush;
}

// A file open for reading. Raises FileError (fs/Errors.h) when it cannot be
// opened, sought or read as asked.
class InFile {
 public:
  explicit InFile(std::u16string_view path);
  // Reads through an open C file, which it closes when done; name goes into
  // the messages.
  InFile(std::FILE* adopted, std::u16string_view name);
  ~InFile();
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;

  int64_t Size() const { return size_; }
  int64_t Position() const { return position_; }
  void Seek(int64_t offset);
  // Reads up to size bytes; returns how many were read.
  size_t Read(void* buffer, size_t size);
  // Reads exactly size bytes or raises FileError.
  void ReadExact(void* buffer, size_t size);

 private:
  std::FILE* file_ = nullptr;
  std::u16string name_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A whole file's bytes. Raises FileError when it cannot be opened or read
// to its end.
std::string ReadFileBytes(std::u16string_view path);
// The whole of a file open for reading (the HANDLE on Windows, the
// descriptor elsewhere), read from its start into bytes; false when the
// system refuses (bytes then holds what was read before), or when it holds
// more than max bytes (bytes then holds more than max of them).
bool ReadOpenFile(intptr_t native, size_t max, std::string& bytes);

// A file created for writing, replacing an existing one, written through the
// system's own handle (the HANDLE on Windows, the descriptor elsewhere) with
// a buffer of its own for small pieces; large ones go straight through.
// Raises FileError.
class OutFile {
 public:
  explicit OutFile(std::u16string_view path);
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // On Windows, gives the file its final size before its bytes are written,
  // so that the system can give it its room at once, in one piece; a disk too
  // full for it fails here. Nothing is written: the bytes still come through
  // Write from the start of the file. Raises FileError.
  void Reserve(int64_t size);
  void Write(const void* data, size_t size);
  // Writes out what is buffered and lets the handle go (closing it when it
  // is its own).
  void Close();

 private:
  friend class NewFile;
  // Writes through a handle its caller keeps open and closes.
  OutFile(intptr_t borrowed, std::u16string_view path);
  // Writes out the buffer; false when the system refuses.
  bool Drain();
  std::u16string path_;
  intptr_t native_ = -1;  // the HANDLE on Windows, the descriptor elsewhere
  bool owned_ = true;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

// The file system operations the extractor and the setup program need. On
// Windows they are the system's own calls (a program that does not need
// std::filesystem does not carry it); elsewhere std::filesystem.
bool FileExists(std::u16string_view path);
// Renames a file over another in one step, replacing it; false with the
// system's reason in why when that cannot be done (on Windows also when the
// target is in use, as a running program's image is), and then the target is
// as it was. No second copy of either is left.
bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why);
// Deletes a file; false when it could not be deleted.
bool RemoveFile(std::u16string_view path);

// A file made new and held in a held folder: written first under a name of
// its own beside its name (created exclusively), then moved over the name
// through its own open handle, which replaces a file or a link at path (the link itself, never
// what it points to); a folder link or an empty folder at path is removed
// first, and a folder with something in it fails the creation. Open for
// reading and writing; while it is open nobody else may write, rename or
// delete it (on Windows; elsewhere only the exclusive creation and the
// replacing move hold). Raises FileError; nothing of its own is left then.
class HeldFile {
 public:
  HeldFile(HeldFolder& folder, std::u16string_view name);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  const std::u16string& Path() const { return path_; }
  void Write(const void* data, size_t size);
  // An InFile over the same open file (a handle of its own, the same
  // protection), for reading it back while it stays held.
  std::unique_ptr<InFile> Reader() const;
  // Closes it and keeps it.
  void Close();
  // Deletes it through its own handle (never whatever else may stand at its
  // name) and closes it; false when it could not be deleted.
  bool Delete();

 private:
  std::u16string path_;
  HeldFolder* folder_;
  std::u16string name_;
  intptr_t native_ = -1;  // the file descriptor, or the HANDLE on Windows
};

// ---- Folders held for a run, and files made in them relative to a held
// folder (fs/File_posix.cpp: openat, mkdirat, renameat with O_NOFOLLOW;
// fs/File_win.cpp: win/FolderTree.h, NtCreateFile and FileRenameInformation
// relative to the folder's handle). No path below a held folder is looked
// up again: a folder swapped for a link after it was entered is never
// followed, the files go into the folder that was entered.
//
// A destination's tree holds every folder on the way to it as well, from the
// top (a drive's root, "/") down, each opened relative to the one above
// without following a link at its name; a link on the way is followed, and
// counts as a folder others may change unless it belongs to the
// administrators or the system. On Windows a held folder cannot be renamed
// or deleted while the tree lives; elsewhere it can, and then the files
// follow the folder to its new name. Whoever may write into a held folder
// can still change its entries: a file's name is looked at (Look) and then
// replaced in two steps, and a link planted at the name in between is
// replaced itself, never written through.

// One folder of a FolderTree.
class HeldFolder {
 public:
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  // Its path for messages, ending in "\".
  const std::u16string& Path() const { return path_; }

  // What stands at a name in it, looked at without following it. A link is
  // a symbolic link or a junction (a mount point); other reparse points
  // (cloud placeholders, deduplicated files) are plain files and folders.
  struct Entry {
    bool exists = false;
    bool folder = false;
    bool link = false;
    bool readOnly = false;
  };
  Entry Look(std::u16string_view name) const;

 private:
  friend class FolderTree;
  friend class NewFile;
  friend class HeldFile;
  friend class HeldEntry;
  HeldFolder(intptr_t native, std::u16string path) : native_(native), path_(std::move(path)) {}
  intptr_t native_;  // the folder's descriptor, or its HANDLE on Windows
  std::u16string path_;
};

// A folder and the folders below it that a run enters, each opened once,
// relative to the one above it, without following a link, and held until
// the tree goes.
class FolderTree {
 public:
  // How the root itself is opened: a destination that is a link is
  // refused; the system directory is the system's and is followed (with
  // the folders above it, which are not held); a user's own folder (a
  // shell folder) is reached with no link anywhere on the way, itself
  // included, whoever owns the link.
  enum class RootLink { kRefuse, kFollow, kRefuseOnTheWay };
  // Opens root (ending in "\") and holds the folders on the way to it; when
  // make is set, then makes the missing ones as Make does. Raises LinkError
  // when the root is a link (kRefuse; kRefuseOnTheWay: or any folder on the
  // way) and FileError when it cannot be opened or made.
  FolderTree(std::u16string_view root, RootLink how, bool make = true);
  // The same without making anything, for a folder that should be there:
  // nullptr when it is missing, cannot be opened or is refused as a link.
  static std::unique_ptr<FolderTree> OpenExisting(std::u16string_view root, RootLink how);
  ~FolderTree();
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  // The first folder on the way to the root, from the top, that anyone but
  // the administrators, the system and this account may change (rename,
  // delete, change the permissions of; the root itself also add files to,
  // and the files made in it inherit what its permissions give), or that is
  // a link belonging to anyone else; empty when none is. Read through the
  // holds; a folder whose permissions cannot be read or weighed counts.
  // With rootAdding unset, others adding files to the root does not count
  // (a folder such as the Windows folder's Temp, where what is made is
  // always made new and never looked up again by name).
  std::u16string FindOthersMayChange(bool rootAdding = true) const;
  // Makes the folders missing on the way to the root, each relative to the
  // held one above it (on Windows with the descriptor of win/Security.h).
  // A folder that is there when it is to be made appeared after the tree
  // was opened, made by someone else, and is not used: raises
  // FolderChangedError naming it.
  void Make();

  // Whether the root is open: it existed, or was made (Make).
  bool Opened() const { return root_ != nullptr; }
  HeldFolder& Root() { return *root_; }
  // The folder rel below the root ("a\b\"; empty: the root), each level
  // opened once and kept; when create is set a missing level is made.
  // Raises LinkError naming a link met, FileError otherwise.
  HeldFolder& Enter(std::u16string_view rel, bool create);
  // The same without making anything: nullptr when a level is missing.
  HeldFolder* Find(std::u16string_view rel);
  // The levels this tree made below its root ("a\", "a\b\"), in the order
  // made.
  const std::vector<std::u16string>& Made() const { return made_; }
  // Removes the folder rel when it is empty and a plain folder (never a
  // link, never one with something in it), closing its hold and those of the
  // levels below it first; false when it stays.
  bool RemoveEmpty(std::u16string_view rel);
  // Writes the entries of every held folder through to the disk (names made,
  // renamed and deleted in them), where the system lets a folder be flushed.
  void Sync();

 private:
  // Opens a folder (its path ends in a separator) through the system's own
  // lookup, following links; -1 when it is not there. Raises FileError.
  intptr_t OpenFollowing(const std::u16string& path);
  // The folders on the way, from the top down to the deepest that exists
  // (the root, once it exists); strange: reached through a link that belongs
  // to someone else.
  struct OnTheWay {
    std::unique_ptr<HeldFolder> folder;
    bool strange = false;
  };
  std::vector<OnTheWay> way_;
  // The levels still to be made, with the root's path up to each.
  std::vector<std::pair<std::u16string, std::u16string>> missing_;
  std::u16string path_, rootShown_;
  HeldFolder* root_ = nullptr;
  struct Level {
    std::u16string rel;
    std::unique_ptr<HeldFolder> folder;
  };
  std::vector<Level> levels_;
  std::vector<std::u16string> made_;
};

// A file made new in a held folder under a name of its own
// ("<name>.<8 hex digits>.stp-part", created exclusively) and moved to its
// name through its own handle once written.
class NewFile {
 public:
  // Raises FileError when no such file can be made.
  NewFile(HeldFolder& folder, std::u16string_view name);
  // The same under the given temporary name, which must be free.
  NewFile(HeldFolder& folder, std::u16string_view name, std::u16string_view temp);
  // Deletes the file unless it was placed.
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  OutFile& Out() { return *out_; }
  // Closes it and moves it to its name: over what is there when replace is
  // set (a file, or a link itself), else only when nothing is, and false
  // when something was there and was kept (the new file is deleted). Raises
  // FileError when it cannot be moved (a target in use, a folder there); the
  // target is then as it was and the new file is deleted.
  bool Place(bool replace);
  // Closes it once written, with its bytes written through to the disk when
  // flush is set, before it is placed. Raises FileError.
  void Finish(bool flush);
  // Closes it once written and sets its bytes on their way to the disk
  // without waiting for them (on Windows a thread of the process flushes it
  // meanwhile, win/Flusher.h), keeping what Flush needs open: a run writes
  // many files while the disk catches up, then waits for them all. One
  // descriptor each until Flush (on Windows a handle stays open anyway).
  void FinishUnflushed();
  // Waits until the bytes of a file finished unflushed are on the disk; then
  // it is as after Finish(true). Raises FileError.
  void Flush();
  // Moves a placed file back to its temporary name (where nothing is), to
  // be deleted with it; false when it cannot be.
  bool Unplace();
  const std::u16string& Temp() const { return temp_; }

 private:
  void Create(std::u16string_view temp, bool retry);
  // Closes the descriptor of a file written, keeping who it is (POSIX).
  void CloseWritten();
  HeldFolder& folder_;
  std::u16string name_;
  std::u16string temp_;
  std::unique_ptr<OutFile> out_;
  intptr_t native_ = -1;
  bool placed_ = false;
  uint64_t identity_[2] = {0, 0};  // device and file, once closed (POSIX)
  // Its flush handed to the background (Windows): awaited or withdrawn
  // before the handle goes.
  win::QueuedFlush* flushing_ = nullptr;
};

// A file that stands in a held folder, held so that it can be renamed or
// deleted through the hold.
class HeldEntry {
 public:
  enum class Hold {
    // Others may go on using it; a link is held itself.
    kShared,
    // Proven replaceable now: on Windows opened for writing and deleting
    // while nobody else may write or delete it, which fails for a running
    // program's image and for a file another program holds open; elsewhere
    // only looked at (nothing holds a file there).
    kReplace,
    // The same, and on Linux locked (flock) too: nobody else can hold it in
    // any way meanwhile. One descriptor each: for a few files only.
    kLock,
    // On Windows readable through the hold while others may only read it
    // (a program may be started from it), and deleted when the hold's last
    // handle closes (Release hands it on); elsewhere as kShared.
    kUntilClosed,
  };
  // Raises FileError naming the file when it is not there, is a folder, or
  // cannot be held now; LinkError when it is a link and held for replacing.
  HeldEntry(HeldFolder& folder, std::u16string_view name, Hold how);
  ~HeldEntry();
  HeldEntry(const HeldEntry&) = delete;
  HeldEntry& operator=(const HeldEntry&) = delete;

  const std::u16string& Name() const { return name_; }
  // Its bytes, when there are at most max of them. Raises FileError.
  std::string Read(size_t max);
  // Renames it within its folder: over what is there when replace is set,
  // else only where nothing is. Raises FileError; it keeps its name then.
  void Rename(std::u16string_view to, bool replace);
  // Deletes it (a link itself, never what it names); false when it cannot.
  bool Delete();
  // Whether it belongs to the administrators, the system (root) or the
  // account this program runs as, read through the hold; false when that
  // cannot be told.
  bool OwnedByTrusted() const;
  // Gives the hold's own handle (the HANDLE on Windows, the descriptor
  // elsewhere; -1 when there is none) to the caller, who closes it.
  intptr_t Release();

 private:
  // What the constructor raises before anything is opened (fs/File.cpp).
  static void Check(HeldFolder& folder, std::u16string_view name, Hold how);
  HeldFolder& folder_;
  std::u16string name_;
  intptr_t native_ = -1;  // the HANDLE on Windows, the locked descriptor elsewhere
};
