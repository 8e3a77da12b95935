// The worker thread component's events: where and in which order they run,
// exceptions through Synchronize, priorities, the shared hidden window and the
// owner's destruction when a run is done.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ThreadTestSupport.h"

using namespace threadtest;

namespace {

class ThreadEventsTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AllThreadObjectsGone()); }
  void TearDown() override {
    thread_.reset();
    // Every thread object must be released again, and the window with them.
    EXPECT_TRUE(AllThreadObjectsGone());
  }
  TnxCustomThread& Make() {
    thread_ = std::make_unique<TnxCustomThread>(nullptr);
    return *thread_;
  }
  // Records text with whether it ran on the main thread.
  void Log(const std::string& text) {
    log_.push_back(text + (GetCurrentThreadId() == mainThread_ ? "@main" : "@worker"));
  }

  const DWORD mainThread_ = GetCurrentThreadId();
  std::unique_ptr<TnxCustomThread> thread_;
  std::vector<std::string> log_;  // written by one thread at a time
};

TEST_F(ThreadEventsTest, EventsRunOnTheMainThreadInOrderWithTheComponentAsSender) {
  TnxCustomThread& thread = Make();
  std::vector<TObject*> senders;
  thread.SetOnExecute(Notify([&](TObject* sender) {
    senders.push_back(sender);
    Log("execute");
    for (int i = 1; i <= 3; ++i) thread.Synchronize([&, i] { Log("sync" + std::to_string(i)); });
    Log("done");
  }));
  thread.SetOnFinish(Notify([&](TObject* sender) {
    senders.push_back(sender);
    Log("finish");
  }));
  thread.SetWaitForCompletion(true);

  EXPECT_TRUE(thread.Start());

  EXPECT_EQ(log_, (std::vector<std::string>{"execute@worker", "sync1@main", "sync2@main",
                                            "sync3@main", "done@worker", "finish@main"}));
  EXPECT_EQ(senders, (std::vector<TObject*>{&thread, &thread}));
  EXPECT_FALSE(thread.Running());
}

TEST_F(ThreadEventsTest, EachStartRunsOnAFreshThreadWithTheSameHandlersAndPriority) {
  TnxCustomThread& thread = Make();
  std::vector<DWORD> workers;
  int finished = 0;
  thread.SetOnExecute(Notify([&](TObject*) { workers.push_back(GetCurrentThreadId()); }));
  thread.SetOnFinish(Notify([&](TObject*) { ++finished; }));
  thread.SetPriority(tpLower);
  thread.SetWaitForCompletion(true);

  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(thread.Start());

  ASSERT_EQ(workers.size(), 2u);
  EXPECT_NE(workers[0], workers[1]);
  EXPECT_EQ(thread.Thread()->ThreadID(), workers[1]);
  EXPECT_EQ(finished, 2);
  EXPECT_EQ(thread.Priority(), tpLower);
}

// How an exception in each handler ends up, with and without CatchExceptions.
struct ExceptionCase {
  const char* name;
  bool catchExceptions;
  const char* throwIn;  // "sync", "execute" or "finish"
  // What the worker saw after the synchronized call, "" when it saw nothing.
  const char* workerSaw;
  int onException;
  int onFinish;
};

class ThreadExceptionTest : public ThreadEventsTest,
                            public testing::WithParamInterface<ExceptionCase> {};

TEST_P(ThreadExceptionTest, IsHandledAsTheSettingSays) {
  const ExceptionCase& c = GetParam();
  TnxCustomThread& thread = Make();
  thread.SetCatchExceptions(c.catchExceptions);
  std::string workerSaw;
  int exceptions = 0, finishes = 0;
  bool workerWentOn = false;
  thread.SetOnExecute(Notify([&](TObject*) {
    const std::string where = c.throwIn;
    if (where == "sync") {
      try {
        thread.Synchronize([] { throw Exception("raised on main"); });
      } catch (const Exception& e) {
        workerSaw = e.what();
      }
    }
    if (where == "execute") throw Exception("raised on worker");
    workerWentOn = true;
  }));
  thread.SetOnException(Notify([&](TObject* sender) {
    EXPECT_EQ(sender, &thread);
    EXPECT_EQ(GetCurrentThreadId(), mainThread_);
    ++exceptions;
  }));
  thread.SetOnFinish(Notify([&](TObject*) {
    ++finishes;
    if (std::string(c.throwIn) == "finish") throw Exception("raised in OnFinish");
  }));
  thread.SetWaitForCompletion(true);

  ASSERT_TRUE(thread.Start());

  EXPECT_EQ(workerSaw, c.workerSaw);
  EXPECT_EQ(workerWentOn, std::string(c.throwIn) != "execute");
  EXPECT_EQ(exceptions, c.onException);
  EXPECT_EQ(finishes, c.onFinish);
  EXPECT_FALSE(thread.Running());
}

INSTANTIATE_TEST_SUITE_P(Cases, ThreadExceptionTest,
                         testing::Values(
                             // A synchronized call's exception travels back to the worker only when
                             // exceptions are not caught; caught, it is dropped and not reported.
                             ExceptionCase{"SyncCaught", true, "sync", "", 0, 1},
                             ExceptionCase{"SyncReraised", false, "sync", "raised on main", 0, 1},
                             ExceptionCase{"ExecuteCaught", true, "execute", "", 1, 1},
                             // Uncaught, the run ends silently; the finishing step still runs.
                             ExceptionCase{"ExecuteUncaught", false, "execute", "", 0, 1},
                             ExceptionCase{"FinishCaught", true, "finish", "", 1, 1}),
                         [](const testing::TestParamInfo<ExceptionCase>& info) {
                           return info.param.name;
                         });

TEST_F(ThreadEventsTest, FinishExceptionWithoutCatchingEndsTheRunQuietly) {
  TnxCustomThread& thread = Make();
  thread.SetCatchExceptions(false);
  int exceptions = 0;
  thread.SetOnFinish(Notify([&](TObject*) { throw Exception("raised in OnFinish"); }));
  thread.SetOnException(Notify([&](TObject*) { ++exceptions; }));
  thread.SetWaitForCompletion(true);

  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(exceptions, 0);
  EXPECT_FALSE(thread.Running());
  // The component is still usable.
  thread.SetCatchExceptions(true);
  thread.SetOnFinish(Notify([&](TObject*) {}));
  EXPECT_TRUE(thread.Start());
}

TEST_F(ThreadEventsTest, SynchronizeOnTheMainThreadRunsDirectly) {
  TnxCustomThread& thread = Make();
  bool ran = false;
  thread.Synchronize([&] { ran = GetCurrentThreadId() == mainThread_; });
  EXPECT_TRUE(ran);
  thread.SetCatchExceptions(false);
  EXPECT_THROW(thread.Synchronize([] { throw Exception("direct"); }), Exception);
}

TEST(ThreadPriorityMapping, MapsEveryOperatingSystemValue) {
  const std::vector<std::pair<int, TThreadPriority>> cases = {
      {-15, tpIdle},  {-2, tpLowest}, {-1, tpLower},        {0, tpNormal},
      {1, tpHigher},  {2, tpHighest}, {15, tpTimeCritical}, {3, tpNormal},
      {-7, tpNormal}, {6, tpNormal},  {100, tpNormal}};
  for (auto [os, expected] : cases) EXPECT_EQ(PriorityFromOS(os), expected) << "os value " << os;
}

TEST_F(ThreadEventsTest, PrioritiesReachTheOperatingSystemThread) {
  TnxCustomThread& thread = Make();
  for (int p = tpIdle; p <= tpTimeCritical; ++p) {
    auto priority = static_cast<TThreadPriority>(p);
    thread.SetPriority(priority);
    EXPECT_EQ(GetThreadPriority(thread.Thread()->Handle()), kThreadPriorities[p]) << p;
    EXPECT_EQ(thread.Priority(), priority) << p;
  }
  // A value the table lacks, set from outside, reads as normal.
  if (SetThreadPriority(thread.Thread()->Handle(), 4) &&
      GetThreadPriority(thread.Thread()->Handle()) == 4) {
    EXPECT_EQ(thread.Priority(), tpNormal);
  }
}

TEST_F(ThreadEventsTest, DestroyedBeforeStartNeverRunsTheWork) {
  std::atomic<int> calls{0};
  {
    TnxCustomThread& thread = Make();
    thread.SetOnExecute(Notify([&](TObject*) { ++calls; }));
    thread.SetOnFinish(Notify([&](TObject*) { ++calls; }));
    thread.Thread()->SetPriority(tpHigher);
    thread_.reset();
  }
  PumpFor(50);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ThreadWindowRefCount(), 0);
}

TEST_F(ThreadEventsTest, OneHiddenWindowIsSharedAndGoesWithTheLastThreadObject) {
  ASSERT_EQ(ThreadWindow(), nullptr);
  auto a = std::make_unique<TnxCustomThread>(nullptr);
  HWND window = ThreadWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ThreadWindowRefCount(), 1);
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), mainThread_);
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  EXPECT_STREQ(className, "TnxThreadWindow");
  EXPECT_FALSE(IsWindowVisible(window));

  auto b = std::make_unique<TnxCustomThread>(nullptr);
  EXPECT_EQ(ThreadWindow(), window);
  EXPECT_EQ(ThreadWindowRefCount(), 2);
  // A run replaces the thread object: the count stays with the live objects.
  b->SetWaitForCompletion(true);
  b->Start();
  EXPECT_EQ(ThreadWindowRefCount(), 2);

  a.reset();
  EXPECT_EQ(ThreadWindow(), window);
  EXPECT_EQ(ThreadWindowRefCount(), 1);
  b.reset();
  EXPECT_EQ(ThreadWindowRefCount(), 0);
  EXPECT_EQ(ThreadWindow(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  WNDCLASSA wc;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "TnxThreadWindow", &wc));
}

// An owner that says when it is gone and can reach its thread component.
class TTestOwner : public TComponent {
 public:
  explicit TTestOwner(bool* gone) : TComponent(nullptr), gone_(gone) {
    thread = new TnxCustomThread(this);
  }
  ~TTestOwner() override {
    Destroying();
    if (beforeDestroy) beforeDestroy();
    *gone_ = true;
  }
  TnxCustomThread* thread;
  std::function<void()> beforeDestroy;

 private:
  bool* gone_;
};

TEST_F(ThreadEventsTest, DestroyOwnerWhenDoneDestroysTheOwnerAfterOnFinish) {
  bool gone = false;
  auto* owner = new TTestOwner(&gone);
  int finishes = 0;
  owner->thread->SetDestroyOwnerWhenDone(true);
  owner->thread->SetOnExecute(Notify([](TObject*) { Sleep(20); }));
  owner->thread->SetOnFinish(Notify([&](TObject*) {
    EXPECT_FALSE(gone);
    ++finishes;
  }));
  owner->thread->Start();

  ASSERT_TRUE(PumpUntil([&] { return gone; }));
  EXPECT_EQ(finishes, 1);
  // The old thread object releases itself from its own thread; the window
  // follows once the main thread runs its messages.
  EXPECT_TRUE(AllThreadObjectsGone());
}

TEST_F(ThreadEventsTest, DestroyOwnerWhenDoneWhileStartWaitsReturnsSafely) {
  bool gone = false;
  auto* owner = new TTestOwner(&gone);
  owner->thread->SetDestroyOwnerWhenDone(true);
  owner->thread->SetWaitForCompletion(true);
  owner->thread->SetCompletionTimeout(kPatienceMs);
  int finishes = 0;
  owner->thread->SetOnExecute(Notify([](TObject*) { Sleep(20); }));
  owner->thread->SetOnFinish(Notify([&](TObject*) { ++finishes; }));
  // The component goes away inside its own wait.
  EXPECT_TRUE(owner->thread->Start());
  EXPECT_TRUE(gone);
  EXPECT_EQ(finishes, 1);
  EXPECT_TRUE(AllThreadObjectsGone());
}

TEST_F(ThreadEventsTest, DestroyOwnerWhenDoneWithoutOnFinishLeavesTheOwner) {
  bool gone = false;
  auto owner = std::unique_ptr<TTestOwner>(new TTestOwner(&gone));
  owner->thread->SetDestroyOwnerWhenDone(true);
  owner->thread->SetWaitForCompletion(true);
  std::atomic<int> runs{0};
  owner->thread->SetOnExecute(Notify([&](TObject*) { ++runs; }));
  ASSERT_TRUE(owner->thread->Start());
  PumpFor(50);
  EXPECT_FALSE(gone);
  EXPECT_EQ(runs, 1);
  // Still the component's own object, and usable again.
  ASSERT_TRUE(owner->thread->Start());
  EXPECT_EQ(runs, 2);
  owner.reset();
  EXPECT_TRUE(gone);
}

TEST_F(ThreadEventsTest, SynchronizeDuringOwnerDestructionReturnsWithoutRunning) {
  bool gone = false;
  auto* owner = new TTestOwner(&gone);
  TKernelEvent ownerDying;
  std::atomic<bool> ran{false}, returned{false};
  TnxCustomThread* thread = owner->thread;
  thread->SetOnExecute(Notify([&](TObject*) {
    ownerDying.Wait(kPatienceMs);
    thread->Synchronize([&] { ran = true; });
    returned = true;
  }));
  thread->Start();
  ASSERT_TRUE(PumpUntil([&] { return thread->Running(); }));
  // The owner's destructor waits, processing sent messages, for the worker.
  owner->beforeDestroy = [&] {
    ownerDying.Set();
    PumpUntil([&] { return returned.load(); });
  };
  delete owner;

  EXPECT_TRUE(gone);
  EXPECT_TRUE(returned);
  EXPECT_FALSE(ran);
}

TEST_F(ThreadEventsTest, StartInsideOnFinishRunsTheNextJobOnAFreshObject) {
  TnxCustomThread& thread = Make();
  std::atomic<int> runs{0};
  int finishes = 0;
  TnxEventThread* finishing = nullptr;
  bool finishingDropped = false;
  thread.SetOnExecute(Notify([&](TObject*) { ++runs; }));
  thread.SetOnFinish(Notify([&](TObject*) {
    if (++finishes == 1) {
      finishing = thread.Thread();
      thread.Start();
      // The worker that waits for this handler is no longer the component's.
      finishingDropped = finishing->Killed() && thread.Thread() != finishing;
    }
  }));
  thread.Start();

  ASSERT_TRUE(PumpUntil([&] { return finishes == 2; }));
  EXPECT_TRUE(finishingDropped);
  EXPECT_EQ(runs, 2);
  ASSERT_TRUE(PumpUntil([&] { return !thread.Running() && thread.KilledCount() == 0; }));
  PumpFor(50);
  EXPECT_EQ(finishes, 2);
}

TEST_F(ThreadEventsTest, StreamedSettingsAndTheirDefaults) {
  TnxCustomThread& thread = Make();
  EXPECT_TRUE(thread.Suspended());
  EXPECT_TRUE(thread.CatchExceptions());
  EXPECT_FALSE(thread.DestroyOwnerWhenDone());
  EXPECT_FALSE(thread.WaitForCompletion());
  EXPECT_EQ(thread.CompletionTimeout(), 0u);
  EXPECT_EQ(thread.Priority(), tpNormal);
  EXPECT_FALSE(thread.Running());
  EXPECT_FALSE(thread.Terminated());

  // Suspended False stored in a form starts the thread object once loaded.
  std::atomic<bool> ran{false};
  thread.SetOnExecute(Notify([&](TObject*) { ran = true; }));
  thread.SetLoading();
  thread.SetSuspended(false);
  EXPECT_TRUE(thread.Thread()->Suspended());
  thread.Loaded();
  EXPECT_FALSE(thread.Suspended());
  EXPECT_TRUE(PumpUntil([&] { return ran.load(); }));
}

}  // namespace
