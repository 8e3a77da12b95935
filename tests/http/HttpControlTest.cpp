// Starting and stopping transfers: Busy, Abort both ways at various points,
// the next transfer started from a completion event, waiting fetches, failing
// handlers and a component destroyed in the middle of a transfer.
#include <gtest/gtest.h>

#include "Application.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;

namespace {

// A slow body: 20 pieces of 10 KB, 100 ms apart.
const std::string kSlowPath = "/slow?size=204800&chunk=10240&ms=100";

class ControlTest : public testing::Test {
 protected:
  ControlTest() : recorder_(http_) {
    http_.Proxy()->AccessType = atDirect;
    http_.TargetFileAttributes()->SetIncomplete({atrArchive, atrHidden});
  }
  std::string Target(const std::string& name) { return folder_.Path() + name; }

  TTempFolder folder_;
  TnxCustomHTTP http_{nullptr};
  TRecorder recorder_;
};

TEST_F(ControlTest, FetchWhileBusyIsRefusedAndAbortWhenIdleDoesNothing) {
  http_.Abort(true, true);
  http_.Abort(false, false);
  EXPECT_TRUE(recorder_.events.empty());

  http_.URL = Servers().FaultURL(kSlowPath);
  ASSERT_TRUE(http_.Fetch(false));
  EXPECT_TRUE(http_.Busy());
  http_.URL = Servers().NginxURL("/small.bin");
  EXPECT_FALSE(http_.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  EXPECT_EQ(recorder_.Outcome(), "Done");
  EXPECT_EQ(recorder_.data.size(), 204800u);  // the first transfer, left alone
}

// Abort from inside the progress event, with every combination of its flags.
TEST_F(ControlTest, AbortDuringTheBody) {
  struct Case {
    bool deleteTarget, immediately;
  };
  for (const Case& c :
       {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    SCOPED_TRACE(testing::Message()
                 << "delete " << c.deleteTarget << ", at once " << c.immediately);
    recorder_.Reset();
    http_.TargetFileName = Target("abort.bin");
    DeleteFileA(http_.TargetFileName.c_str());
    int progress = 0;
    http_.OnTransferProgress = [&](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                                   float, TStream*) {
      if (++progress == 3) http_.Abort(c.deleteTarget, c.immediately);
    };
    http_.URL = Servers().FaultURL(kSlowPath);
    ASSERT_TRUE(http_.Fetch(false));
    ASSERT_TRUE(WaitUntilIdle(http_));
    Pump(300);  // a late event would show up here
    EXPECT_EQ(recorder_.Outcome(), "Aborted");
    EXPECT_EQ(progress, 3);
    EXPECT_FALSE(http_.Busy());
    EXPECT_FALSE(http_.Transferring());
    ASSERT_TRUE(http_.WaitForStoppedTransfers(5000));
    DWORD attributes = GetFileAttributesA(http_.TargetFileName.c_str());
    if (c.deleteTarget) {
      EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
    } else {
      ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
      EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);  // the Incomplete attributes
      std::string written = testsupport::ReadFile(http_.TargetFileName);
      EXPECT_GT(written.size(), 0u);
      EXPECT_LT(written.size(), 204800u);
      EXPECT_TRUE(written == Pattern(written.size()));
      SetFileAttributesA(http_.TargetFileName.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
}

// Stopping at once does not wait for a worker stuck on a silent server; the
// worker cleans up after itself once the server lets it go.
TEST_F(ControlTest, AbortAtOnceDoesNotWaitForAStalledServer) {
  http_.TargetFileName = Target("stalled.bin");
  http_.URL = Servers().FaultURL("/stallbody?size=100000&send=5000&seconds=3");
  http_.SetTransferBufferSize(1000);
  ASSERT_TRUE(http_.Fetch(false));
  DWORD start = GetTickCount();
  while (GetFileAttributesA(http_.TargetFileName.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetTickCount() - start < 5000)
    Pump(20);
  Pump(300);  // now it sits in the read that waits for the server
  start = GetTickCount();
  http_.Abort(true, true);
  EXPECT_LT(GetTickCount() - start, 200u);
  EXPECT_EQ(recorder_.Outcome(), "Aborted");
  EXPECT_FALSE(http_.Busy());
  EXPECT_FALSE(http_.Transferring());

  // A new transfer can start at once, while the old worker still waits.
  recorder_.Reset();
  http_.TargetFileName.clear();
  http_.URL = Servers().NginxURL("/small.bin");
  ASSERT_TRUE(http_.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  EXPECT_EQ(recorder_.Outcome(), "Done");
  EXPECT_TRUE(recorder_.data == Pattern(1000));

  EXPECT_TRUE(http_.WaitForStoppedTransfers(10000));
  EXPECT_EQ(GetFileAttributesA(Target("stalled.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(recorder_.Outcome(), "Done");  // nothing of the old one arrived
}

TEST_F(ControlTest, NextTransferStartedFromTheCompletionEvent) {
  std::vector<int> sizes;
  http_.OnTransferDone = [&](TObject*, const AnsiString&, int size, TStream* data) {
    sizes.push_back(size);
    recorder_.events.push_back("Done");
    if (sizes.size() == 1) {
      EXPECT_EQ(StreamBytes(data), Pattern(1000));
      http_.ReleaseTransferData();
      http_.URL = Servers().NginxURL("/medium.bin");
      EXPECT_TRUE(http_.Fetch(false));
      EXPECT_TRUE(http_.Busy());
    } else {
      EXPECT_TRUE(StreamBytes(data) == Pattern(300000));
    }
  };
  http_.URL = Servers().NginxURL("/small.bin");
  ASSERT_TRUE(http_.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  Pump(200);
  EXPECT_EQ(sizes, (std::vector<int>{1000, 300000}));
  EXPECT_EQ(recorder_.Outcome(), "Done,Done");
  EXPECT_EQ(http_.ContentLength(), 300000);
}

TEST_F(ControlTest, NextTransferStartedFromAStatusErrorKeepsItsOwnFile) {
  // The failed transfer's clean-up (deleting its target) must not touch the
  // transfer started from its handler.
  int errors = 0;
  http_.OnHTTPStatusError = [&](TObject*, int status, TStream*) {
    recorder_.events.push_back("StatusError");
    if (++errors == 1) {
      http_.ReleaseTransferData();  // as the update engine does before the next file
      http_.URL = Servers().NginxURL("/small.bin");
      http_.TargetFileName = Target("second.bin");
      EXPECT_TRUE(http_.Fetch(false));
    }
  };
  http_.URL = Servers().NginxURL("/missing.bin");
  http_.TargetFileName = Target("first.bin");
  ASSERT_TRUE(http_.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  Pump(200);
  EXPECT_EQ(recorder_.Outcome(), "StatusError,Failed,Done");
  EXPECT_TRUE(testsupport::ReadFile(Target("second.bin")) == Pattern(1000));
}

TEST_F(ControlTest, WaitingFetchReturnsAfterTheOutcome) {
  http_.URL = Servers().NginxURL("/medium.bin");
  EXPECT_TRUE(http_.Fetch(true));
  EXPECT_EQ(recorder_.Outcome(), "Done");
  EXPECT_FALSE(http_.WaitForCompletion());  // put back after the wait
  WaitUntilIdle(http_);
}

TEST_F(ControlTest, FailingCompletionHandlerIsReportedAsFailure) {
  http_.OnTransferDone = [&](TObject*, const AnsiString&, int, TStream*) {
    recorder_.events.push_back("Done");
    throw Exception("handler failed");
  };
  int progressCalls = 0;
  http_.OnTransferProgress = [&](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                                 float, TStream*) {
    ++progressCalls;
    throw Exception("progress failed");  // dropped: the transfer goes on
  };
  http_.URL = Servers().NginxURL("/medium.bin");
  ASSERT_TRUE(http_.Fetch(false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  EXPECT_EQ(recorder_.Outcome(), "Done,Failed");
  EXPECT_GT(progressCalls, 1);
}

TEST_F(ControlTest, DestroyedComponentEndsItsTransferWithoutEvents) {
  std::vector<std::string> events;
  {
    TnxCustomHTTP http(nullptr);
    http.Proxy()->AccessType = atDirect;
    http.OnTransferDone = [&](TObject*, const AnsiString&, int, TStream*) {
      events.push_back("Done");
    };
    http.OnTransferAborted = [&](TObject*) { events.push_back("Aborted"); };
    http.OnTransferProgress = [&](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                                  float, TStream*) { events.push_back("Progress"); };
    http.URL = Servers().FaultURL(kSlowPath);
    ASSERT_TRUE(http.Fetch(false));
    Pump(350);
  }
  std::size_t seen = events.size();
  Pump(500);
  EXPECT_EQ(events.size(), seen);
  for (const std::string& e : events) EXPECT_EQ(e, "Progress");
}

// Reaches the thread component, to give the wait a limit.
class TLimitedHTTP : public TnxCustomHTTP {
 public:
  using TnxCustomHTTP::ThreadComponent;
  using TnxCustomHTTP::TnxCustomHTTP;
};

TEST(WaitExpired, StopsAWaitingFetchAtTheLimit) {
  TLimitedHTTP http(nullptr);
  TRecorder recorder(http);
  http.Proxy()->AccessType = atDirect;
  bool expired = false;
  http.OnWaitExpired = [&](TObject*, bool& terminate) {
    expired = true;
    EXPECT_TRUE(terminate);
  };
  http.URL = Servers().FaultURL("/stall?seconds=3");
  http.ThreadComponent()->SetCompletionTimeout(500);  // a stretch without any message
  DWORD start = GetTickCount();
  EXPECT_FALSE(http.Fetch(true));
  EXPECT_LT(GetTickCount() - start, 2500u);
  EXPECT_TRUE(expired);
  EXPECT_FALSE(http.Busy());
  EXPECT_FALSE(http.Transferring());
  Pump(200);
  EXPECT_EQ(recorder.Outcome(), "");
  EXPECT_TRUE(http.WaitForStoppedTransfers(10000));
}

}  // namespace
