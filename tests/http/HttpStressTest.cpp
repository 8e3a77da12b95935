// A few hundred transfers stopped at random points, both ways, against slow,
// stalled and fast servers, with next transfers started from completion
// events. Afterwards a normal transfer must succeed, every transfer must have
// ended in exactly one outcome, and handles and memory must be back near
// where they started. Bounded in count and in time.
#include <gtest/gtest.h>

#include <random>

#include "HttpTestSupport.h"
// After windows.h, which the support header brings in.
#include <psapi.h>
#include <tlhelp32.h>

using namespace httptest;

namespace {

constexpr int kRounds = 300;
constexpr DWORD kTimeBudgetMs = 150000;  // no new round starts after this
constexpr DWORD kRoundLimitMs = 15000;
constexpr int kHandleSlack = 40;
constexpr long kMemorySlackKB = 8 * 1024;
constexpr long kThreadSlack = 2;

// Wine reports no handle count: handles are counted by probing their values.
DWORD HandleCount() {
  constexpr UINT_PTR kLastProbed = 0x20000;
  DWORD count = 0, flags = 0;
  for (UINT_PTR value = 4; value < kLastProbed; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  return count;
}

// Committed private memory in KB (Wine fills the page-file figure, not PrivateUsage).
long MemoryKB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return -1;
  return static_cast<long>(counters.PagefileUsage / 1024);
}

long ThreadCount() {
  unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  long count = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  return count;
}

TEST(Stress, TransfersStoppedAtRandomPointsLeaveNothingBehind) {
  TTempFolder folder;
  TnxCustomHTTP http(nullptr);
  http.Proxy()->AccessType = atDirect;
  const TServers& servers = Servers();

  int started = 0;
  int outcomes = 0;
  int done = 0;
  int chained = 0;  // transfers still to start from a completion event
  std::mt19937 random(20261211);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };

  auto fetch = [&] {
    if (http.Fetch(false)) ++started;
  };
  http.OnTransferDone = [&](TObject*, const AnsiString&, int, TStream*) {
    ++outcomes;
    ++done;
    if (chained > 0) {
      --chained;
      http.ReleaseTransferData();
      http.URL = servers.NginxURL(chance(50) ? "/small.bin" : "/medium.bin");
      fetch();
    }
  };
  http.OnTransferFailed = [&](TObject*) { ++outcomes; };
  http.OnTransferAborted = [&](TObject*) { ++outcomes; };
  http.OnTransferSkipped = [&](TObject*) { ++outcomes; };
  int abortAtProgress = 0;
  bool abortAtOnce = false;
  http.OnTransferProgress = [&](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                                float, TStream*) {
    if (abortAtProgress > 0 && --abortAtProgress == 0) http.Abort(chance(50), abortAtOnce);
  };

  // Warm up: the first transfer sets up what WinInet keeps for the process.
  http.URL = servers.NginxURL("/medium.bin");
  fetch();
  ASSERT_TRUE(WaitUntilIdle(http));
  const DWORD handlesBefore = HandleCount();
  const long memoryBefore = MemoryKB();
  const long threadsBefore = ThreadCount();
  ASSERT_GT(memoryBefore, 0) << "memory use cannot be read";
  ASSERT_GT(handlesBefore, 0u) << "handles cannot be counted";

  const DWORD start = GetTickCount();
  int rounds = 0;
  for (; rounds < kRounds && GetTickCount() - start < kTimeBudgetMs; ++rounds) {
    SCOPED_TRACE(testing::Message() << "round " << rounds);
    http.TargetFileName = chance(50) ? folder.Path() + "t" + std::to_string(rounds % 7) : "";
    abortAtProgress = 0;
    const int kind = static_cast<int>(random() % 6);
    SCOPED_TRACE(testing::Message() << "kind " << kind);
    switch (kind) {
      case 0:  // a slow body, stopped from outside after a while
        http.URL = servers.FaultURL("/slow?size=102400&chunk=4096&ms=20");
        fetch();
        Pump(random() % 80);
        http.Abort(chance(50), chance(50));
        break;
      case 1:  // a silent server, stopped at once
        http.URL = servers.FaultURL("/stall?seconds=2");
        fetch();
        Pump(random() % 40);
        http.Abort(chance(50), true);
        break;
      case 2:  // stopped before the worker got anywhere
        http.URL = servers.NginxURL("/medium.bin");
        fetch();
        http.Abort(chance(50), chance(50));
        break;
      case 3:  // stopped from inside the progress event
        http.URL = servers.FaultURL("/slow?size=65536&chunk=4096&ms=5");
        abortAtProgress = 1 + static_cast<int>(random() % 6);
        abortAtOnce = chance(50);
        fetch();
        break;
      case 4:  // the next transfers started from the completion event
        chained = 1 + static_cast<int>(random() % 2);
        http.URL = servers.NginxURL("/small.bin");
        fetch();
        break;
      default:  // a transfer that runs to its end, or is cut by the server
        http.URL = chance(50) ? servers.NginxURL("/small.bin")
                              : servers.FaultURL("/cut?size=20000&send=5000");
        fetch();
        break;
    }
    ASSERT_TRUE(WaitUntilIdle(http, kRoundLimitMs))
        << "transfer did not end: busy " << http.Busy() << ", transferring " << http.Transferring();
    chained = 0;
  }
  const DWORD elapsed = GetTickCount() - start;

  ASSERT_TRUE(http.WaitForStoppedTransfers(20000)) << "stopped workers did not end";
  Pump(200);
  EXPECT_EQ(outcomes, started) << "each transfer ends in exactly one outcome";

  // A normal transfer afterwards.
  int finalDone = done;
  std::string finalBytes;
  http.OnTransferDone = [&](TObject*, const AnsiString&, int, TStream* data) {
    ++finalDone;
    finalBytes = StreamBytes(data);
  };
  http.OnTransferProgress = nullptr;
  http.TargetFileName.clear();
  http.URL = servers.NginxURL("/medium.bin");
  ASSERT_TRUE(http.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http));
  EXPECT_EQ(finalDone, done + 1);
  EXPECT_TRUE(finalBytes == Pattern(300000));

  Pump(500);  // threads that ended a moment ago are gone from the counts
  const DWORD handlesAfter = HandleCount();
  const long memoryAfter = MemoryKB();
  const long threadsAfter = ThreadCount();
  EXPECT_LE(handlesAfter, handlesBefore + kHandleSlack);
  EXPECT_LE(memoryAfter, memoryBefore + kMemorySlackKB);
  EXPECT_LE(threadsAfter, threadsBefore + kThreadSlack);
  std::printf(
      "stress: %d rounds, %d transfers (%d completed) in %lu ms; handles %lu -> %lu, "
      "committed %ld KB -> %ld KB, threads %ld -> %ld\n",
      rounds, started, done, static_cast<unsigned long>(elapsed),
      static_cast<unsigned long>(handlesBefore), static_cast<unsigned long>(handlesAfter),
      memoryBefore, memoryAfter, threadsBefore, threadsAfter);
  EXPECT_GE(rounds, 100) << "too few rounds in the time budget";
}

}  // namespace
