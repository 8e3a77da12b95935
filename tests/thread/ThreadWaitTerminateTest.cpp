// The wait of Start ends when the application is told to terminate. On its own
// program: once terminated, the application stays so.
#include <gtest/gtest.h>

#include <atomic>

#include "ThreadTestSupport.h"

using namespace threadtest;

TEST(ThreadWaitTerminateTest, WaitWithoutLimitEndsWhenTheApplicationTerminates) {
  TnxCustomThread thread(nullptr);
  std::atomic<bool> askedToStop{false};
  thread.SetOnExecute(Notify([&](TObject*) {
    thread.Synchronize([] { Application().Terminate(); });
    const DWORD start = GetTickCount();
    while (!thread.Terminated() && GetTickCount() - start < kPatienceMs) Sleep(5);
    askedToStop = thread.Terminated();
  }));
  int finishes = 0;
  thread.SetOnFinish(Notify([&](TObject*) { ++finishes; }));
  thread.SetWaitForCompletion(true);

  EXPECT_TRUE(thread.Start());
  EXPECT_TRUE(Application().Terminated());
  // The run itself goes on until asked to stop.
  EXPECT_TRUE(thread.Running());
  EXPECT_EQ(finishes, 0);
  thread.Stop(false);
  thread.Thread()->WaitFor();
  EXPECT_TRUE(askedToStop);
  EXPECT_EQ(finishes, 1);
}
