// The part of the file layer that is the same everywhere; each system's own
// calls are in File_posix.cpp and File_win.cpp.
#include "fs/File.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/Native.h"

using namespace fs_native;

std::u16string fs_native::TempName(std::u16string_view target) {
  return std::u16string(target) + u'.' + RandomName(8, kHexDigits) + u".stp-part";
}

InFile::InFile(std::u16string_view path) : InFile(OpenStdFile(path), path) {}

InFile::InFile(std::FILE* adopted, std::u16string_view name) : file_(adopted), name_(name) {
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
    throw FileError(u"position " + IntToText(offset) + u" lies outside " + name_);
  }
  if (SeekTo(file_, offset) != 0)
    throw FileError(u"cannot seek in " + name_);
  position_ = offset;
}

size_t InFile::Read(void* buffer, size_t size) {
  const size_t n = std::fread(buffer, 1, size, file_);
  position_ += static_cast<int64_t>(n);
  return n;
}

void InFile::ReadExact(void* buffer, size_t size) {
  if (Read(buffer, size) != size)
    throw FileError(name_ + u" ends too soon");
}

std::string ReadFileBytes(std::u16string_view path) {
  const intptr_t native = OpenForReading(path);
  if (native == -1)
    throw FileError(u"cannot open " + std::u16string(path));
  std::string bytes;
  const bool read = ReadOpenFile(native, bytes.max_size(), bytes);
  CloseNative(native);
  if (!read)
    throw FileError(u"cannot read " + std::u16string(path) + u" to its end");
  return bytes;
}

namespace {

// Pieces smaller than this are gathered before they are written.
constexpr size_t kOutBuffer = 64 << 10;

}  // namespace

OutFile::OutFile(std::u16string_view path) : path_(path), native_(CreateForWriting(path)) {
  if (native_ == -1)
    throw FileError(u"cannot create " + path_);
}

OutFile::OutFile(intptr_t borrowed, std::u16string_view path)
    : path_(path), native_(borrowed), owned_(false) {}

OutFile::~OutFile() {
  if (native_ == -1)
    return;
  Drain();
  if (owned_)
    CloseNative(native_);
}

bool OutFile::Drain() {
  const size_t n = used_;
  used_ = 0;
  return n == 0 || WriteAll(native_, buffer_.get(), n);
}

void OutFile::Write(const void* data, size_t size) {
  if (size == 0)
    return;
  if (native_ == -1)
    throw FileError(u"cannot write " + path_);
  if (used_ + size > kOutBuffer && !Drain())
    throw FileError(u"cannot write " + path_);
  if (size >= kOutBuffer) {
    if (!WriteAll(native_, data, size))
      throw FileError(u"cannot write " + path_);
    return;
  }
  if (!buffer_)
    buffer_ = std::make_unique<char[]>(kOutBuffer);
  std::memcpy(buffer_.get() + used_, data, size);
  used_ += size;
}

void OutFile::Close() {
  if (native_ == -1)
    return;
  bool ok = Drain();
  if (owned_)
    ok = CloseNative(native_) && ok;
  native_ = -1;
  if (!ok)
    throw FileError(u"cannot write " + path_);
}

void HeldFile::Write(const void* data, size_t size) {
  if (size > 0 && (native_ == -1 || !WriteAll(native_, data, size)))
    throw FileError(u"cannot write " + path_);
}

std::unique_ptr<FolderTree> FolderTree::OpenExisting(std::u16string_view root, RootLink how) {
  try {
    auto tree = std::make_unique<FolderTree>(root, how, false);
    if (tree->Opened())
      return tree;
  } catch (const FileError&) {
  }
  return nullptr;
}

FolderTree::FolderTree(std::u16string_view root, RootLink how, bool make) {
  // The root goes by its name as given in messages; the way to it is read
  // whole.
  const auto withEnd = [](std::u16string p) {
    if (p.empty() || std::u16string_view(kSeparators).find(p.back()) == std::u16string::npos)
      p += u'\\';
    return p;
  };
  rootShown_ = withEnd(std::u16string(root));
  path_ = withEnd(WholePath(root));
  if (how == RootLink::kFollow) {
    // The deepest folder that exists, by its path; the rest is made below it.
    std::u16string base = path_;
    std::vector<std::u16string> below;
    intptr_t native = -1;
    while ((native = OpenFollowing(base)) == -1) {
      const size_t end = base.find_last_not_of(kSeparators);
      const size_t cut = end == std::u16string::npos ? end : base.find_last_of(kSeparators, end);
      if (cut == std::u16string::npos || cut < TopLength(path_))
        throw FileError(u"cannot open the folder " + rootShown_);
      below.insert(below.begin(), base.substr(cut + 1, end - cut));
      base.resize(cut + 1);
    }
    way_.push_back({std::unique_ptr<HeldFolder>(new HeldFolder(native, base))});
    for (const std::u16string& level : below) {
      base += level;
      bool made = false;
      native = OpenLevelAt(way_.back().folder->native_, level, true, base, made);
      base += u'\\';
      way_.push_back({std::unique_ptr<HeldFolder>(new HeldFolder(native, base))});
    }
    root_ = way_.back().folder.get();
    return;
  }
  const size_t top = TopLength(path_);
  const std::u16string topPath = path_.substr(0, top);
  way_.push_back({std::unique_ptr<HeldFolder>(new HeldFolder(OpenTop(topPath), topPath))});
  // The levels below the top, each with the path up to its end.
  std::vector<std::pair<std::u16string, std::u16string>> levels;
  for (size_t start = top; start < path_.size();) {
    size_t end = path_.find_first_of(kSeparators, start);
    if (end == std::u16string::npos)
      end = path_.size();
    if (end > start)
      levels.emplace_back(path_.substr(start, end - start), path_.substr(0, end));
    start = end + 1;
  }
  for (size_t i = 0; i < levels.size(); ++i) {
    const auto& [name, shown] = levels[i];
    const bool last = i + 1 == levels.size();
    bool strange = false;
    const intptr_t native = OpenOnTheWay(way_.back().folder->native_, name,
                                         last || how == RootLink::kRefuseOnTheWay, shown, strange);
    if (native == -1) {
      missing_.assign(levels.begin() + static_cast<std::ptrdiff_t>(i), levels.end());
      break;
    }
    way_.push_back(
        {std::unique_ptr<HeldFolder>(new HeldFolder(native, last ? rootShown_ : shown + u'\\')),
         strange});
  }
  if (missing_.empty())
    root_ = way_.back().folder.get();
  else if (make)
    Make();
}

FolderTree::~FolderTree() = default;

void FolderTree::Make() {
  for (size_t i = 0; i < missing_.size(); ++i) {
    const auto& [name, shown] = missing_[i];
    bool made = false;
    const intptr_t native = OpenLevelAt(way_.back().folder->native_, name, true, shown, made);
    const bool last = i + 1 == missing_.size();
    way_.push_back(
        {std::unique_ptr<HeldFolder>(new HeldFolder(native, last ? rootShown_ : shown + u'\\'))});
    if (!made)
      throw FolderChangedError(shown);
  }
  missing_.clear();
  root_ = way_.back().folder.get();
}

std::u16string FolderTree::FindOthersMayChange(bool rootAdding) const {
  for (size_t i = 0; i < way_.size(); ++i) {
    const HeldFolder& folder = *way_[i].folder;
    const bool destination = rootAdding && missing_.empty() && i + 1 == way_.size();
    if (way_[i].strange || OthersMayChangeAt(folder.native_, destination)) {
      std::u16string shown = folder.Path();
      if (i > 0)
        shown.pop_back();
      return shown;
    }
  }
  return u"";
}

HeldFolder& FolderTree::Enter(std::u16string_view rel, bool create) {
  HeldFolder* at = root_;
  std::u16string sofar;
  for (const std::u16string& level : PathLevels(rel)) {
    sofar += level + u'\\';
    HeldFolder* found = nullptr;
    for (Level& l : levels_) {
      if (l.rel == sofar)
        found = l.folder.get();
    }
    if (found == nullptr) {
      const std::u16string shown = root_->Path() + sofar;
      bool made = false;
      const intptr_t native =
          OpenLevelAt(at->native_, level, create, shown.substr(0, shown.size() - 1), made);
      levels_.push_back({sofar, std::unique_ptr<HeldFolder>(new HeldFolder(native, shown))});
      if (made)
        made_.push_back(sofar);
      found = levels_.back().folder.get();
    }
    at = found;
  }
  return *at;
}

NewFile::NewFile(HeldFolder& folder, std::u16string_view name) : folder_(folder), name_(name) {
  Create(name, true);
}

NewFile::NewFile(HeldFolder& folder, std::u16string_view name, std::u16string_view temp)
    : folder_(folder), name_(name) {
  Create(temp, false);
}

HeldFolder* FolderTree::Find(std::u16string_view rel) {
  HeldFolder* at = root_;
  std::u16string sofar;
  for (const std::u16string& level : PathLevels(rel)) {
    const HeldFolder::Entry entry = at->Look(level);
    if (!entry.exists || !entry.folder || entry.link)
      return nullptr;
    sofar += level + u'\\';
    at = &Enter(sofar, false);
  }
  return at;
}

bool FolderTree::RemoveEmpty(std::u16string_view rel) {
  const std::vector<std::u16string> levels = PathLevels(rel);
  if (levels.empty())
    return false;
  std::u16string parentRel;
  for (size_t i = 0; i + 1 < levels.size(); ++i)
    parentRel += levels[i] + u'\\';
  HeldFolder* parent = Find(parentRel);
  if (parent == nullptr)
    return false;
  const std::u16string self = parentRel + levels.back() + u'\\';
  // Its hold and those below it go first: a held folder cannot be removed.
  levels_.erase(std::remove_if(levels_.begin(), levels_.end(),
                               [&](const Level& l) { return l.rel.rfind(self, 0) == 0; }),
                levels_.end());
  if (parent->Look(levels.back()).link)
    return false;
  return RemoveEmptyFolderAt(parent->native_, levels.back());
}

intptr_t HeldEntry::Release() {
  const intptr_t h = native_;
  native_ = -1;
  return h;
}

void HeldEntry::Check(HeldFolder& folder, std::u16string_view name, Hold how) {
  const HeldFolder::Entry entry = folder.Look(name);
  const std::u16string shown = folder.Path() + std::u16string(name);
  if (!entry.exists)
    throw FileError(u"there is no " + shown);
  if (entry.folder && !entry.link)
    throw FileError(shown + u" is a folder");
  if (how != Hold::kShared && entry.link)
    throw LinkError(shown);
}
