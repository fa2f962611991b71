// The thread that flushes new files: each owner hears its own file's
// result, and flushes released unawaited, queued or begun, go cleanly.
#include <gtest/gtest.h>

#include <vector>

#include "win/Flusher.h"
#include "win/Handle.h"

TEST(Flusher, EachFlushTellsItsOwnResult) {
  struct Case {
    const char* what;
    DWORD access;
    bool fails;
  };
  const Case cases[] = {
      {"open for writing", GENERIC_WRITE, false},
      {"open only for reading: the system refuses to flush it", GENERIC_READ, true},
  };
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring path = std::wstring(temp) + L"flusher-test.bin";
  const auto open = [&](DWORD access) {
    return win::Handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Behind others, so that it waits in the queue; released in turn, the
    // first ones awaited, the rest withdrawn or waited for.
    std::vector<std::pair<win::Handle, win::QueuedFlush*>> flushes;
    for (int i = 0; i < 32; ++i) {
      win::Handle h = open(i == 16 ? c.access : GENERIC_WRITE);
      ASSERT_TRUE(h);
      win::QueuedFlush* queued = win::QueueFlush(h.get());
      ASSERT_NE(queued, nullptr);
      flushes.emplace_back(std::move(h), queued);
    }
    for (size_t i = 0; i < flushes.size(); ++i) {
      if (i <= 16) {
        EXPECT_EQ(win::Await(*flushes[i].second) != ERROR_SUCCESS, i == 16 && c.fails) << i;
      }
      win::Release(flushes[i].second);
      flushes[i].first.Reset();
    }
  }
  DeleteFileW(path.c_str());
}
