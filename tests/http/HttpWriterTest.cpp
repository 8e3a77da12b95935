// The block writer that stores a body while its next blocks arrive: order and
// completeness of what reaches the stream, the thread that writes it, and what
// happens when the stream takes fewer bytes than it was given.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "nxHTTPWriter.h"

namespace {

// A memory stream that notes which thread wrote, and that can take only the
// first `limit` bytes (then it writes short, or raises when asked to).
class TLimitedStream : public TMemoryStream {
 public:
  long limit = -1;
  bool raise = false;
  std::vector<DWORD> writers;
  int writesAfterShort = 0;

  long Write(const void* buffer, long count) override {
    writers.push_back(GetCurrentThreadId());
    if (shortWritten_) ++writesAfterShort;
    if (limit >= 0 && Size() + count > limit) {
      shortWritten_ = true;
      if (raise) throw std::runtime_error("no room");
      long room = static_cast<long>(limit - Size());
      return room > 0 ? TMemoryStream::Write(buffer, room) : 0;
    }
    return TMemoryStream::Write(buffer, count);
  }

 private:
  bool shortWritten_ = false;
};

// Block i holds `size` bytes of the letter 'a' + i % 26, of which the first
// `skip` are not to be stored (as the bytes a resumed file had already).
std::string FeedBlocks(TBlockWriter& writer, int blocks, long size, std::size_t skip,
                       bool& refused) {
  std::string expected;
  refused = false;
  for (int i = 0; i < blocks && !refused; ++i) {
    std::uint8_t* block = writer.NextBlock();
    char letter = static_cast<char>('a' + i % 26);
    std::fill(block, block + size, letter);
    std::size_t from = i == 0 ? skip : 0;
    expected.append(size - from, letter);
    refused = !writer.Queue(from, static_cast<long>(size - from));
  }
  return expected;
}

// Where two byte strings part, for a short failure message.
std::string FirstDifference(const std::string& got, const std::string& want) {
  if (got == want) return "";
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
         "; they part at byte " + std::to_string(i);
}

TEST(BlockWriter, StoresEveryBlockInOrderOnItsOwnThreadAfterTheFirst) {
  TLimitedStream out;
  bool refused = false;
  std::string expected;
  {
    TBlockWriter writer(out, 4096);
    expected = FeedBlocks(writer, 200, 4096, 100, refused);
    EXPECT_TRUE(writer.Drain());
    EXPECT_EQ(FirstDifference(out.ToString(), expected), "");  // all of it, once drained
  }
  EXPECT_FALSE(refused);
  ASSERT_EQ(out.writers.size(), 200u);
  // A body of one block is written at once, without a thread.
  EXPECT_EQ(out.writers[0], GetCurrentThreadId());
  for (std::size_t i = 1; i < out.writers.size(); ++i) {
    EXPECT_NE(out.writers[i], GetCurrentThreadId()) << "block " << i;
    EXPECT_EQ(out.writers[i], out.writers[1]) << "block " << i;
  }
}

TEST(BlockWriter, DestroyedWithBlocksQueuedStoresThemFirst) {
  TLimitedStream out;
  bool refused = false;
  std::string expected;
  {
    TBlockWriter writer(out, 1000);
    expected = FeedBlocks(writer, 3, 1000, 0, refused);
  }
  EXPECT_EQ(FirstDifference(out.ToString(), expected), "");
}

TEST(BlockWriter, AShortWriteStopsTheBodyAndNothingIsStoredAfterIt) {
  struct Case {
    const char* name;
    long limit;
    bool raise;
  };
  const Case cases[] = {
      {"short in the first block, written at once", 500, false},
      {"short in the second block, the first on the thread", 1500, false},
      {"short far into the body", 20500, false},
      {"the stream raises instead", 20500, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLimitedStream out;
    out.limit = c.limit;
    out.raise = c.raise;
    bool refused = false;
    bool drained = true;
    std::string expected;
    {
      TBlockWriter writer(out, 1000);
      expected = FeedBlocks(writer, 100, 1000, 0, refused);
      drained = writer.Drain();
    }
    // Reported at the latest by Drain; nothing written after the short write.
    EXPECT_FALSE(drained);
    EXPECT_EQ(out.writesAfterShort, 0);
    const std::size_t kept = c.raise ? (c.limit / 1000) * 1000 : c.limit;
    EXPECT_EQ(FirstDifference(out.ToString(), expected.substr(0, kept)), "");
  }
}

}  // namespace
