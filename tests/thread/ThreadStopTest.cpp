// Stopping runs of the worker thread component: the stop request, the wait
// with its limit, stopping at once (the run is dropped, never killed in
// place), a worker stopping itself, and a stress of quick start/stop cycles.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ThreadTestSupport.h"

using namespace threadtest;

namespace {

// Counts how often a worker's stack was unwound past it.
class TUnwindProbe {
 public:
  explicit TUnwindProbe(std::atomic<int>& count) : count_(count) {}
  ~TUnwindProbe() { ++count_; }

 private:
  std::atomic<int>& count_;
};

class ThreadStopTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllThreadObjectsGone());
    thread_ = std::make_unique<TnxCustomThread>(nullptr);
    thread_->SetOnFinish(Notify([this](TObject*) { ++finishes_; }));
  }
  void TearDown() override {
    thread_.reset();
    EXPECT_TRUE(AllThreadObjectsGone());
  }
  // A job that waits for release_ and polls the stop request meanwhile.
  void WaitingJob() {
    thread_->SetOnExecute(Notify([this](TObject*) {
      while (!thread_->Terminated() && !release_.Wait(5)) {
      }
      if (!thread_->Terminated()) ++completed_;
    }));
  }

  std::unique_ptr<TnxCustomThread> thread_;
  TKernelEvent release_;
  std::atomic<int> completed_{0};
  int finishes_ = 0;
};

TEST_F(ThreadStopTest, AStopRequestIsNoticedByTheWorkAndTheRunFinishes) {
  WaitingJob();
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));
  EXPECT_FALSE(thread_->Terminated());
  thread_->Stop(false);
  EXPECT_TRUE(thread_->Terminated());
  ASSERT_TRUE(PumpUntil([&] { return finishes_ == 1; }));
  EXPECT_EQ(completed_, 0);
  ASSERT_TRUE(PumpUntil([&] { return !thread_->Running(); }));
}

// What the wait's limit does, by what OnWaitTimeout answers.
struct TimeoutCase {
  const char* name;
  bool assignHandler;
  bool handlerTerminates;
  bool startResult;
};

class ThreadWaitTimeoutTest : public ThreadStopTest,
                              public testing::WithParamInterface<TimeoutCase> {};

TEST_P(ThreadWaitTimeoutTest, EndsTheWaitAsTheHandlerSays) {
  constexpr DWORD kLimitMs = 200;
  const TimeoutCase& c = GetParam();
  WaitingJob();
  int timeouts = 0;
  if (c.assignHandler)
    thread_->OnWaitTimeout = [&](TObject* sender, bool& terminate) {
      EXPECT_EQ(sender, thread_.get());
      EXPECT_TRUE(terminate);
      terminate = c.handlerTerminates;
      ++timeouts;
    };
  thread_->SetWaitForCompletion(true);
  thread_->SetCompletionTimeout(kLimitMs);

  const DWORD start = GetTickCount();
  EXPECT_EQ(thread_->Start(), c.startResult);
  EXPECT_GE(GetTickCount() - start, kLimitMs - 20);
  EXPECT_EQ(timeouts, c.assignHandler ? 1 : 0);

  if (c.startResult) {
    // Let run on: it is still the component's, and finishes normally.
    EXPECT_TRUE(thread_->Running());
    release_.Set();
    ASSERT_TRUE(PumpUntil([&] { return finishes_ == 1; }));
    EXPECT_EQ(completed_, 1);
  } else {
    // Stopped at once: no finishing step, ever, and the old worker ends.
    EXPECT_FALSE(thread_->Running());
    ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
    PumpFor(50);
    EXPECT_EQ(finishes_, 0);
    EXPECT_EQ(completed_, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ThreadWaitTimeoutTest,
                         testing::Values(TimeoutCase{"NoHandler", false, true, false},
                                         TimeoutCase{"HandlerStops", true, true, false},
                                         TimeoutCase{"HandlerLetsRun", true, false, true}),
                         [](const testing::TestParamInfo<TimeoutCase>& info) {
                           return info.param.name;
                         });

TEST_F(ThreadStopTest, WaitWithoutLimitReturnsOnceTheRunHasFinished) {
  thread_->SetOnExecute(Notify([](TObject*) { Sleep(300); }));
  thread_->SetWaitForCompletion(true);
  EXPECT_TRUE(thread_->Start());
  EXPECT_EQ(finishes_, 1);
  EXPECT_FALSE(thread_->Running());
}

TEST_F(ThreadStopTest, TheLimitCountsAfreshWheneverTheWorkerCalls) {
  // Eight calls 100 ms apart outlast the 250 ms limit, which only measures a
  // stretch with nothing to process.
  thread_->SetOnExecute(Notify([this](TObject*) {
    for (int i = 0; i < 8; ++i) {
      Sleep(100);
      thread_->Synchronize([] {});
    }
    ++completed_;
  }));
  int timeouts = 0;
  thread_->OnWaitTimeout = [&](TObject*, bool&) { ++timeouts; };
  thread_->SetWaitForCompletion(true);
  thread_->SetCompletionTimeout(250);
  EXPECT_TRUE(thread_->Start());
  EXPECT_EQ(timeouts, 0);
  EXPECT_EQ(completed_, 1);
  EXPECT_EQ(finishes_, 1);
}

TEST_F(ThreadStopTest, StopAtOnceDropsTheRunAndANewJobStartsAtOnce) {
  // The first run blocks in a call that only OnKill cuts short, the way a
  // transfer blocks in a read until its handles are closed.
  TKernelEvent blocking;
  std::atomic<int> runs{0}, unwound{0}, afterBlock{0};
  std::atomic<bool> syncRan{false};
  thread_->SetOnExecute(Notify([&](TObject*) {
    if (++runs > 1) {
      ++completed_;
      return;
    }
    TUnwindProbe probe(unwound);
    blocking.Wait(kPatienceMs);
    thread_->Synchronize([&] { syncRan = true; });  // dropped: raises EThreadKilled
    ++afterBlock;
  }));
  int kills = 0;
  thread_->OnKill = [&](TObject* sender) {
    EXPECT_EQ(sender, thread_.get());
    EXPECT_FALSE(thread_->Running());
    ++kills;
    blocking.Set();
  };
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));
  const DWORD oldWorker = thread_->Thread()->ThreadID();

  thread_->Stop(true);
  EXPECT_EQ(kills, 1);
  EXPECT_FALSE(thread_->Running());
  EXPECT_FALSE(thread_->Terminated());
  EXPECT_NE(thread_->Thread()->ThreadID(), oldWorker);

  thread_->SetWaitForCompletion(true);
  ASSERT_TRUE(thread_->Start());
  EXPECT_EQ(completed_, 1);
  EXPECT_EQ(finishes_, 1);  // the new run's only
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  PumpFor(50);
  EXPECT_EQ(unwound, 1);
  EXPECT_EQ(afterBlock, 0);
  EXPECT_FALSE(syncRan);
  EXPECT_EQ(finishes_, 1);
  EXPECT_EQ(kills, 1);
}

TEST_F(ThreadStopTest, StartWhileRunningDropsTheOldRunWithoutFinishing) {
  std::atomic<int> runs{0}, unwound{0};
  thread_->SetOnExecute(Notify([&](TObject*) {
    if (++runs > 1) return;
    TUnwindProbe probe(unwound);
    while (true) {
      thread_->CheckKilled();
      Sleep(2);
    }
  }));
  thread_->SetPriority(tpHigher);
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));
  thread_->SetWaitForCompletion(true);
  ASSERT_TRUE(thread_->Start());
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(finishes_, 1);
  EXPECT_EQ(thread_->Priority(), tpHigher);
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  EXPECT_EQ(unwound, 1);
}

TEST_F(ThreadStopTest, AWorkerStoppingItselfUnwindsItsOwnStack) {
  std::atomic<int> unwound{0}, after{0};
  std::atomic<DWORD> worker{0};
  thread_->SetOnExecute(Notify([&](TObject*) {
    TUnwindProbe probe(unwound);
    worker = GetCurrentThreadId();
    thread_->Stop(true);
    ++after;
  }));
  int exceptions = 0;
  thread_->SetOnException(Notify([&](TObject*) { ++exceptions; }));
  thread_->SetWaitForCompletion(true);
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  EXPECT_EQ(unwound, 1);
  EXPECT_EQ(after, 0);
  EXPECT_EQ(finishes_, 0);
  EXPECT_EQ(exceptions, 0);
  EXPECT_FALSE(thread_->Running());
  // The component holds a fresh object, not the stopped run's.
  EXPECT_NE(thread_->Thread()->ThreadID(), worker.load());
  EXPECT_TRUE(thread_->Thread()->Suspended());

  // The fresh object runs the next job normally.
  thread_->SetOnExecute(Notify([&](TObject*) { ++completed_; }));
  ASSERT_TRUE(thread_->Start());
  EXPECT_EQ(completed_, 1);
  EXPECT_EQ(finishes_, 1);
}

TEST_F(ThreadStopTest, AStopAtOnceFromAnotherThreadIsCarriedOutOnTheMainThread) {
  TKernelEvent blocking;
  thread_->SetOnExecute(Notify([&](TObject*) {
    blocking.Wait(kPatienceMs);
    thread_->CheckKilled();
    ++completed_;
  }));
  DWORD killedOn = 0;
  thread_->OnKill = [&](TObject*) {
    killedOn = GetCurrentThreadId();
    blocking.Set();
  };
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));

  // Another thread of ours, neither the main thread nor the worker.
  std::atomic<bool> stopped{false};
  std::thread other([&] {
    thread_->Stop(true);
    stopped = true;
  });
  const bool done = PumpUntil([&] { return stopped.load(); });
  other.join();
  ASSERT_TRUE(done);

  EXPECT_EQ(killedOn, GetCurrentThreadId());
  EXPECT_FALSE(thread_->Running());
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  PumpFor(50);
  EXPECT_EQ(completed_, 0);
  EXPECT_EQ(finishes_, 0);
}

TEST_F(ThreadStopTest, ASuspendedRunStoppedAtOnceStillEnds) {
  std::atomic<int> unwound{0};
  thread_->SetOnExecute(Notify([&](TObject*) {
    TUnwindProbe probe(unwound);
    for (;;) {
      thread_->CheckKilled();
      Sleep(1);
    }
  }));
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));
  thread_->Suspend();
  thread_->Suspend();
  thread_->Stop(true);
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  EXPECT_EQ(unwound, 1);
  EXPECT_EQ(finishes_, 0);
}

TEST_F(ThreadStopTest, DestroyingTheComponentWhileRunningEndsTheRunWithoutFinishing) {
  TKernelEvent blocking;
  std::atomic<int> unwound{0};
  thread_->SetOnExecute(Notify([&](TObject*) {
    TUnwindProbe probe(unwound);
    blocking.Wait(kPatienceMs);
    thread_->CheckKilled();
    ++completed_;
  }));
  int kills = 0;
  thread_->OnKill = [&](TObject*) {
    ++kills;
    blocking.Set();
  };
  ASSERT_TRUE(thread_->Start());
  ASSERT_TRUE(PumpUntil([&] { return thread_->Running(); }));
  const DWORD start = GetTickCount();
  thread_.reset();
  EXPECT_LT(GetTickCount() - start, kPatienceMs / 2);  // the hook, not the guard, ended it
  EXPECT_EQ(kills, 1);
  EXPECT_EQ(unwound, 1);
  EXPECT_EQ(completed_, 0);
  EXPECT_EQ(finishes_, 0);
}

// Many quick start/stop cycles in every manner the component allows, then a
// normal job: nothing may hang, crash or stay behind.
TEST_F(ThreadStopTest, QuickStartStopCyclesLeaveTheProcessWhole) {
  constexpr int kCycles = 300;
  std::atomic<int> unwound{0}, syncs{0}, selfStopAt{-1};
  int restartBudget = 20;
  thread_->SetOnExecute(Notify([&](TObject*) {
    TUnwindProbe probe(unwound);
    const int stopAt = selfStopAt;
    std::vector<std::string> heapWork;
    for (int i = 0; i < 40; ++i) {
      heapWork.emplace_back(static_cast<size_t>(64 + i * 16), 'x');
      if (i % 8 == 0) thread_->Synchronize([&] { ++syncs; });
      if (i == stopAt) thread_->Stop(true);
      thread_->CheckKilled();
      if (thread_->Terminated()) return;
      if (i % 5 == 0) Sleep(0);
    }
  }));
  thread_->SetOnFinish(Notify([&](TObject*) {
    ++finishes_;
    if (finishes_ % 5 == 0 && restartBudget > 0) {
      --restartBudget;
      thread_->Start();  // the next job from inside the finishing step
    }
  }));
  PumpFor(100);
  const int baseThreads = ThreadCount();
  const int baseHandle = NextHandleValue();
  std::mt19937 random(4242);
  const DWORD start = GetTickCount();

  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const int manner = static_cast<int>(random() % 6);
    selfStopAt = manner == 5 ? static_cast<int>(random() % 40) : -1;
    ASSERT_TRUE(thread_->Start());
    switch (manner) {
      case 0:  // at once, before the worker even began
        thread_->Stop(true);
        break;
      case 1:  // once it is inside the work
        PumpUntil([&] { return thread_->Running(); }, 50);
        thread_->Stop(true);
        break;
      case 2:  // a start over a running one
        thread_->Start();
        break;
      case 3:  // asked first, then at once
        PumpFor(random() % 3);
        thread_->Stop(false);
        thread_->Stop(true);
        break;
      default:  // let it finish (or stop itself)
        PumpFor(random() % 4);
        break;
    }
    Application().ProcessMessages();
  }
  thread_->Stop(true);
  ASSERT_TRUE(thread_->WaitForKilled(kPatienceMs));
  const DWORD elapsed = GetTickCount() - start;

  // A normal job still runs start to finish.
  std::atomic<bool> done{false};
  thread_->SetOnExecute(Notify([&](TObject*) {
    thread_->Synchronize([&] { ++syncs; });
    done = true;
  }));
  restartBudget = 0;
  const int finishesBefore = finishes_;
  thread_->SetWaitForCompletion(true);
  thread_->SetCompletionTimeout(kPatienceMs);
  ASSERT_TRUE(thread_->Start());
  EXPECT_TRUE(done);
  EXPECT_EQ(finishes_, finishesBefore + 1);

  // Every worker has ended and nothing piled up.
  EXPECT_TRUE(PumpUntil([&] { return ThreadCount() <= baseThreads + 1; }))
      << ThreadCount() << " threads, " << baseThreads << " before";
  constexpr int kHandleStep = 4;
  EXPECT_LE(NextHandleValue(), baseHandle + 16 * kHandleStep) << baseHandle << " before";
  EXPECT_EQ(ThreadWindowRefCount(), 1);  // the component's one object
  EXPECT_GT(unwound, 0);
  RecordProperty("cycles_ms", static_cast<int>(elapsed));
  std::printf(
      "%d cycles in %lu ms, %d finished, %d calls; threads %d -> %d, next handle %d -> %d\n",
      kCycles, static_cast<unsigned long>(elapsed), finishes_, syncs.load(), baseThreads,
      ThreadCount(), baseHandle, NextHandleValue());
}

}  // namespace
