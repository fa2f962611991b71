// An upgrade from one version of a package to the next, failed at every file
// in every way a run can fail (a file held by a running program, a full
// disk, the process killed while it writes and while it replaces): each
// leaves the earlier version whole, and the next run completes the upgrade
// without a temporary, old or journal file left.
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "PackageFixture.h"
#include "fs/Errors.h"
#include "package/Journal.h"
#include "testsupport/Processes.h"

#ifdef _WIN32
#include <share.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

constexpr char kChildJob[] = "STP_TEST_STOPPED_RUN";

// The child's job: "<package>|<dest>|<step>|<index>|<threads>"; it extracts and ends
// itself at that step, as a killed run would. Done as the program starts,
// before any test.
bool RunStoppedRunIfAsked() {
  const char* job = std::getenv(kChildJob);
  if (job == nullptr)
    return false;
  std::vector<std::string> f;
  std::string s = job;
  for (size_t at; (at = s.find('|')) != std::string::npos; s = s.substr(at + 1))
    f.push_back(s.substr(0, at));
  f.push_back(s);
  TExtractOptions options;
#ifdef _WIN32
  options.codePage = &AnsiCodePage();
#endif
  options.durable = true;
  const int step = std::stoi(f[2]);
  const size_t index = std::stoul(f[3]);
  options.threads = std::stoi(f[4]);
  options.checkpoint = [&](TTransaction::Step at, size_t i) {
    if (static_cast<int>(at) == step && i == index)
      std::_Exit(3);
  };
  try {
    ExtractPackage(FromUtf8(f[0]), FromUtf8(f[1]), u"", {}, options);
  } catch (...) {
    std::_Exit(4);
  }
  std::_Exit(5);  // the step was never reached
}
[[maybe_unused]] const bool kStoppedRun = RunStoppedRunIfAsked();

// A child run that never ends, for the deadline of the runs above.
constexpr char kHungJob[] = "STP_TEST_HUNG_RUN";
[[maybe_unused]] const bool kHungRun = [] {
  while (std::getenv(kHungJob) != nullptr)
    std::this_thread::sleep_for(std::chrono::seconds(1));
  return false;
}();

struct Upgrade : Scratch {
  // Version A, and version B: it changes two files, adds two (one in a new
  // folder), and carries one of A's files in a subfolder instead. Bodies of
  // 48 KiB that do not compress, so that a disk fills at a known file.
  std::vector<Entry> a, b;
  std::map<std::string, std::string> treeA, treeB;  // path: content

  void SetUp() override {
    Scratch::SetUp();
    // As Setup.exe runs: every file flushed, all together, before a target
    // changes.
    options.durable = true;
    const auto body = [](uint32_t seed) { return RandomBytes(48 * 1024, seed, false); };
    a = {{u"", u"app.exe", body(1)},
         {u"data\\", u"a.txt", body(2)},
         {u"lib\\", u"moved.dll", body(3)},
         {u"", u"readme.txt", body(4)}};
    b = {{u"", u"app.exe", body(11)},
         {u"", u"b.txt", body(12)},
         {u"lib\\sub\\", u"moved.dll", body(3)},
         {u"new\\", u"n1.txt", body(14)},
         {u"", u"readme.txt", body(15)}};
    for (const Entry& e : a)
      treeA[Key(e)] = e.content;
    // B over A: B's files and those of A's that B does not carry.
    treeB = treeA;
    for (const Entry& e : b)
      treeB[Key(e)] = e.content;
  }
  static std::string Key(const Entry& e) {
    std::string k = ToUtf8(e.folder + e.name);
    std::replace(k.begin(), k.end(), '\\', '/');
    return k;
  }
  // Every file below the destination with its bytes.
  std::map<std::string, std::string> Tree() const {
    std::map<std::string, std::string> out;
    for (const std::string& rel : testsupport::Tree(Dest())) {
      if (fs::is_regular_file(Dest() / rel))
        out[rel] = ReadAll(Dest() / rel);
    }
    return out;
  }
  static std::string Names(const std::map<std::string, std::string>& tree) {
    std::string s;
    for (const auto& [name, bytes] : tree)
      s += name + " (" + std::to_string(bytes.size()) + ") ";
    return s;
  }
  void Recover() {
    FolderTree tree(dest, FolderTree::RootLink::kRefuse);
    RecoverInterruptedRun(tree);
  }
  // A, then a run of B that fails through fault; then the tree must be A's,
  // and B over it again must give B over A with nothing of the runs left.
  void Check(const std::string& what, const std::function<void()>& fault,
             const std::function<void()>& after = {}) {
    SCOPED_TRACE(what);
    fs::remove_all(Dest());
    Extract(Make(a));
    ASSERT_EQ(Tree(), treeA);
    fault();
    if (after)
      after();
    EXPECT_TRUE(Tree() == treeA) << Names(Tree());
    Extract(Make(b));
    EXPECT_TRUE(Tree() == treeB) << Names(Tree());
  }
};

// A child run that hangs is ended at the deadline, not waited for.
TEST(StoppedRun, AHungChildRunIsEndedAtTheDeadline) {
  EXPECT_EQ(testsupport::RunSelfWith(kHungJob, "1", 500), -1);
}

TEST_F(Upgrade, FailedAtEveryFileEveryWayLeavesTheEarlierVersionWhole) {
  const std::u16string packageB = Make(b);
  // Every file, extracted on one thread, then on three.
  for (size_t run = 0; run < 2 * b.size(); ++run) {
    const size_t k = run % b.size();
    const int threads = options.threads = run < b.size() ? 1 : 3;
    const std::string at = " at file " + std::to_string(k + 1) + " (" + Key(b[k]) + "), " +
                           std::to_string(threads) + " threads";
    for (const auto step : {TTransaction::Step::kWritten, TTransaction::Step::kPlaced}) {
      const std::string name =
          step == TTransaction::Step::kWritten ? "killed while writing" : "killed while replacing";
      Check(
          name + at,
          [&] {
            const int code = testsupport::RunSelfWith(
                kChildJob, ToUtf8(packageB) + "|" + ToUtf8(dest) + "|" +
                               std::to_string(static_cast<int>(step)) + "|" + std::to_string(k) +
                               "|" + std::to_string(threads));
            ASSERT_EQ(code, 3) << "the child run did not stop where it was told to";
            // Stopped: the journal is there for the next run, which undoes it.
            EXPECT_TRUE(fs::exists(Dest(kJournalName)));
          },
          [&] { Recover(); });
    }
#ifdef _WIN32
    // A file of A that B replaces, held open by a running program.
    const fs::path target = Dest(b[k].folder + b[k].name);
    if (treeA.count(Key(b[k]))) {
      std::FILE* held = nullptr;
      Check(
          "held" + at,
          [&] {
            held = _wfsopen(target.wstring().c_str(), L"rb", _SH_DENYWR);
            ASSERT_NE(held, nullptr);
            percents.clear();
            const std::u16string error = ErrorOf([&] { Extract(packageB); });
            EXPECT_NE(error.find(u"(is it in use?)"), std::u16string::npos) << ToUtf8(error);
            EXPECT_TRUE(percents.empty()) << "a file was written before the held one was found";
          },
          [&] { std::fclose(held); });
    }
#endif
  }
  // At the end of the writing, once per run: killed once every new file is
  // on the disk, and the flush of them all failing.
  Check(
      "killed once flushed",
      [&] {
        ASSERT_EQ(testsupport::RunSelfWith(
                      kChildJob,
                      ToUtf8(packageB) + "|" + ToUtf8(dest) + "|" +
                          std::to_string(static_cast<int>(TTransaction::Step::kFlushed)) + "|0|1"),
                  3);
        EXPECT_TRUE(fs::exists(Dest(kJournalName)));
      },
      [&] { Recover(); });
  Check("the flush failing", [&] {
    options.checkpoint = [](TTransaction::Step step, size_t) {
      if (step == TTransaction::Step::kAllWritten)
        throw FileError(u"cannot write app.exe: the disk failed");
    };
    const std::u16string error = ErrorOf([&] { Extract(packageB); });
    options.checkpoint = {};
    EXPECT_NE(error.find(u"the disk failed"), std::u16string::npos) << ToUtf8(error);
    EXPECT_FALSE(fs::exists(Dest(kJournalName)));
  });
  // Killed once committed: the next run only clears what was replaced.
  fs::remove_all(Dest());
  Extract(Make(a));
  ASSERT_EQ(
      testsupport::RunSelfWith(
          kChildJob, ToUtf8(packageB) + "|" + ToUtf8(dest) + "|" +
                         std::to_string(static_cast<int>(TTransaction::Step::kCommitted)) + "|0|3"),
      3);
  Recover();
  EXPECT_TRUE(Tree() == treeB) << Names(Tree());
}

TEST_F(Upgrade, AFullDiskAtEveryFileLeavesTheEarlierVersionWhole) {
  const fs::path disk = root / "disk";
  std::string why;
  if (!testsupport::MountSmallDisk(disk, 2 << 20, why))
    GTEST_SKIP() << why;
  // Gone whatever the assertions say.
  const std::shared_ptr<void> unmount(nullptr, [&](void*) { testsupport::UnmountSmallDisk(disk); });
  dest = FromFsPath(disk / "dest") + u"\\";
  const std::u16string packageB = Make(b);
  for (size_t run = 0; run < 2 * b.size(); ++run) {
    const size_t k = run % b.size();
    const int threads = options.threads = run < b.size() ? 1 : 3;
    const fs::path ballast = disk / "ballast";
    Check(
        "disk full at file " + std::to_string(k + 1) + ", " + std::to_string(threads) + " threads",
        [&] {
          // The disk filled, then room made for the journal, the files before
          // k and half of file k.
          {
            std::FILE* f = OpenStdFile(ballast, true);
            ASSERT_NE(f, nullptr);
            const std::string chunk(4096, 'x');
            while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() &&
                   std::fflush(f) == 0) {
            }
            std::fclose(f);
          }
          const uint64_t room = 8192 + k * (48 * 1024 + 4096) + 24 * 1024;
          ASSERT_GT(fs::file_size(ballast), room);
          fs::resize_file(ballast, fs::file_size(ballast) - room);
          percents.clear();
          EXPECT_THROW(Extract(packageB), Error);
          // With several threads the files after k fill it too.
          if (threads == 1) {
            EXPECT_EQ(percents.size(), k) << "the disk filled at another file";
          }
          fs::remove(ballast);
        });
  }
}

// A journal with its check value right.
std::string Sealed(const std::string& body) {
  char end[16];
  std::snprintf(
      end, sizeof end, "end %08lx\n",
      crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())) &
          0xFFFFFFFFul);
  return body + end;
}

TEST_F(Upgrade, AJournalThatIsDamagedOrNamesAnythingOutsideIsRefusedAndNothingTouched) {
  Extract(Make(a));
  const std::string head = "setup journal 1\nrun\t0123abcd\nstate\topen\n";
  const std::string sound = JournalText({u"0123abcd", false, {}, {{u"", u"app.exe", false}}});
  ASSERT_EQ(sound, Sealed(head + "file\t\tapp.exe\t0\n"));
  const struct {
    const char* what;
    std::string text;
  } rows[] = {
      {"cut short", sound.substr(0, sound.size() - 5)},
      {"a byte changed", std::string(sound).replace(head.size() + 7, 1, "b")},
      {"a name that leaves its folder", Sealed(head + "file\t\t..\t0\n")},
      {"a name with a folder in it", Sealed(head + "file\t\tsub\\app.exe\t0\n")},
      {"a folder above the destination", Sealed(head + "file\t..\\\tapp.exe\t0\n")},
      {"a folder on a drive", Sealed(head + "folder\tC:\\\n")},
      {"a run that is not 8 hex digits", Sealed("setup journal 1\nrun\t../x\nstate\topen\n")},
      {"a line not understood", Sealed(head + "remove\tapp.exe\n")},
  };
  for (const auto& r : rows) {
    WriteAll(Dest(kJournalName), r.text);
    const std::u16string error = ErrorOf([&] { Recover(); });
    EXPECT_NE(error.find(u"Setup.journal of an interrupted installation cannot be read"),
              std::u16string::npos)
        << r.what << ": " << ToUtf8(error);
    EXPECT_EQ(ReadAll(Dest(kJournalName)), r.text) << r.what;
    fs::remove(Dest(kJournalName));
    EXPECT_TRUE(Tree() == treeA) << r.what;
  }
  // The sound one is acted on: the file it says the run made goes.
  WriteAll(Dest(kJournalName), sound);
  Recover();
  EXPECT_FALSE(fs::exists(Dest(u"app.exe")));
  EXPECT_FALSE(fs::exists(Dest(kJournalName)));
}

#ifndef _WIN32
// Where another account may add files at the top of the destination, it
// could plant a journal naming files it may not touch; the run as root
// leaves it and them alone. (On Windows the owner is read the same way
// through the hold; Wine makes every file this account's.)
TEST_F(Upgrade, AJournalOfAnotherAccountIsRefusedUntouched) {
  if (geteuid() != 0)
    GTEST_SKIP() << "giving the journal to another account needs root";
  const passwd* other = getpwnam("nobody");
  if (other == nullptr)
    GTEST_SKIP() << "there is no account \"nobody\" to plant the journal as";
  Extract(Make(a));
  const std::string planted = JournalText({u"0123abcd", false, {}, {{u"", u"app.exe", false}}});
  WriteAll(Dest(kJournalName), planted);
  ASSERT_EQ(chown(Dest(kJournalName).c_str(), other->pw_uid, other->pw_gid), 0);
  const std::u16string error = ErrorOf([&] { Recover(); });
  EXPECT_NE(error.find(u"Setup.journal does not belong to the administrators"),
            std::u16string::npos)
      << ToUtf8(error);
  EXPECT_EQ(ReadAll(Dest(kJournalName)), planted);
  fs::remove(Dest(kJournalName));
  EXPECT_TRUE(Tree() == treeA) << Names(Tree());
}
#endif

// A second run for the same destination while the first is writing: it
// cannot take the live journal for a stopped run's and undo the first; it
// fails naming the journal, and the first completes.
TEST_F(Upgrade, ASecondRunMeanwhileLeavesTheFirstAlone) {
  Extract(Make(a));
  const std::u16string packageB = Make(b), packageA = Make(a);
  std::u16string second;
  options.checkpoint = [&](TTransaction::Step step, size_t index) {
    if (step == TTransaction::Step::kPlaced && index == 2) {
      TExtractOptions plain;
      plain.codePage = options.codePage;
      second = ErrorOf([&] { ExtractPackage(packageA, dest, u"", {}, plain); });
    }
  };
  Extract(packageB);
  EXPECT_NE(second.find(u"Setup.journal"), std::u16string::npos) << ToUtf8(second);
  EXPECT_TRUE(Tree() == treeB) << Names(Tree());
}

}  // namespace
