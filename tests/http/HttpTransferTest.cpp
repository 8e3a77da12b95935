// Whole transfers against real servers: nginx for files, ranges, 416, dates,
// Basic authentication and TLS; the fault server for cut and lying bodies,
// stalls, redirects, a 407 proxy and a server that ignores ranges. Each test
// checks the one outcome a transfer ends in and what it delivered.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;

namespace {

class TransferTest : public testing::Test {
 protected:
  TransferTest() : recorder_(http_) {
    http_.Proxy()->AccessType = atDirect;
    // Wine keeps no temporary attribute; hidden shows the incomplete state.
    http_.TargetFileAttributes()->SetIncomplete({atrArchive, atrHidden});
  }

  // Runs one transfer of url to its end and returns the outcome events.
  std::string Run(const std::string& url, DWORD timeoutMs = 20000) {
    http_.URL = url;
    EXPECT_TRUE(http_.Fetch(false));
    EXPECT_TRUE(WaitUntilIdle(http_, timeoutMs)) << "transfer did not end: " << url;
    return recorder_.Outcome();
  }
  std::string Target(const std::string& name) { return folder_.Path() + name; }

  TTempFolder folder_;
  TnxCustomHTTP http_{nullptr};
  TRecorder recorder_;
};

TEST_F(TransferTest, MemoryDownloadDeliversTheBodyAndItsHeaders) {
  int headerStatus = 0, headerLength = 0;
  AnsiString headerETag;
  TDateTime headerModified = 0;
  http_.OnResponseHeaders = [&](TObject*, int status, const AnsiString& raw, const AnsiString&,
                                const AnsiString&, const AnsiString&, int length, const AnsiString&,
                                TDateTime, TDateTime modified, TDateTime, const AnsiString& etag,
                                bool& go) {
    headerStatus = status;
    headerLength = length;
    headerETag = etag;
    headerModified = modified;
    EXPECT_NE(raw.find("HTTP/1.1 200"), AnsiString::npos);
    EXPECT_TRUE(go);
  };
  EXPECT_EQ(Run(Servers().NginxURL("/medium.bin")), "Done");
  EXPECT_EQ(recorder_.doneSize, 300000);
  EXPECT_EQ(recorder_.dataStreamPosition, 0);
  EXPECT_TRUE(recorder_.data == Pattern(300000)) << "body differs";
  EXPECT_EQ(http_.StatusCode(), 200);
  EXPECT_EQ(http_.ContentLength(), 300000);
  EXPECT_EQ(http_.ContentType(), "application/octet-stream");
  EXPECT_EQ(headerStatus, 200);
  EXPECT_EQ(headerLength, 300000);
  EXPECT_FALSE(headerETag.empty());
  EXPECT_NEAR(headerModified, Now(), 1.0);  // written by the fixture today
  EXPECT_EQ(http_.ETag(), headerETag);
}

TEST_F(TransferTest, FileDownloadClosesTheFileWithItsCompleteAttributes) {
  http_.TargetFileName = Target("medium.bin");
  EXPECT_EQ(Run(Servers().NginxURL("/medium.bin")), "Done");
  EXPECT_FALSE(recorder_.dataStream);  // the file was closed before the event
  EXPECT_EQ(recorder_.doneSize, 300000);
  EXPECT_TRUE(testsupport::ReadFile(http_.TargetFileName) == Pattern(300000));
  DWORD attributes = GetFileAttributesA(http_.TargetFileName.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN);
}

// The body is stored while the next blocks arrive; a progress handler still
// finds every byte counted so far in the stream, and a memory stream complete.
TEST_F(TransferTest, ProgressHandlerFindsEveryCountedByteInTheStream) {
  for (bool toFile : {false, true}) {
    SCOPED_TRACE(toFile ? "into a file" : "into memory");
    recorder_.Reset();
    http_.TargetFileName = toFile ? Target("progress.bin") : "";
    const std::string pattern = Pattern(300000);
    int steps = 0, behind = 0;
    http_.OnTransferProgress = [&](TObject*, const AnsiString&, int, int bytes, int, int,
                                   std::uint8_t, float, TStream* data) {
      ++steps;
      if (auto* memory = dynamic_cast<TMemoryStream*>(data)) {
        const char* stored = reinterpret_cast<const char*>(memory->Memory());
        if (pattern.compare(0, bytes, stored, bytes) != 0) ++behind;
      } else if (data->Position() != bytes) {
        ++behind;
      }
    };
    EXPECT_EQ(Run(Servers().NginxURL("/medium.bin")), "Done");
    EXPECT_GE(steps, (300000 + 4095) / 4096);  // a read may bring less than a block
    EXPECT_EQ(behind, 0);
  }
  http_.OnTransferProgress = nullptr;
}

// One row per outcome of a transfer, with the data it must carry.
TEST_F(TransferTest, OutcomeTable) {
  struct Row {
    const char* name;
    std::string url;
    std::string target;  // empty: into memory
    std::string outcome;
    std::function<void()> setUp;
    std::function<void()> check;
  };
  const TServers& s = Servers();
  const std::string kept = Target("kept.bin");
  const std::vector<Row> rows = {
      {"done", s.NginxURL("/small.bin"), "", "Done", nullptr,
       [&] { EXPECT_TRUE(recorder_.data == Pattern(1000)); }},
      {"cut mid-body", s.FaultURL("/cut?size=1000&send=600"), "", "Incomplete,Failed", nullptr,
       [&] {
         EXPECT_EQ(recorder_.incompleteLength, 1000);
         EXPECT_EQ(recorder_.incompleteBytes, 600);
         EXPECT_EQ(recorder_.dataStreamSize, 1000);  // the larger of announced and received
         EXPECT_TRUE(recorder_.data.substr(0, 600) == Pattern(600));
       }},
      {"cut into a file", s.FaultURL("/cut?size=5000&send=3000"), Target("cut.bin"),
       "Incomplete,Failed", nullptr,
       [&] {
         EXPECT_TRUE(testsupport::ReadFile(Target("cut.bin")) == Pattern(3000));
         EXPECT_TRUE(GetFileAttributesA(Target("cut.bin").c_str()) & FILE_ATTRIBUTE_HIDDEN);
       }},
      {"unreachable", "http://127.0.0.1:1/x", "", "Unreachable,Failed", nullptr,
       [&] { EXPECT_EQ(http_.StatusCode(), -1); }},
      {"404 into memory", s.FaultURL("/nothing-here"), "", "StatusError,Failed", nullptr,
       [&] {
         EXPECT_EQ(recorder_.statusError, 404);
         EXPECT_EQ(recorder_.data, "not found");
       }},
      {"404 for a file target", s.NginxURL("/missing.bin"), kept, "StatusError,Failed",
       [&] { testsupport::WriteFile(kept, "old"); },
       [&] {
         EXPECT_NE(recorder_.data.find("404"), std::string::npos);
         EXPECT_EQ(testsupport::ReadFile(kept), "old");  // never opened, so left alone
       }},
      {"skipped by the headers handler", s.NginxURL("/small.bin"), Target("skip.bin"), "Skipped",
       [&] {
         http_.OnResponseHeaders = [](TObject*, int, const AnsiString&, const AnsiString&,
                                      const AnsiString&, const AnsiString&, int, const AnsiString&,
                                      TDateTime, TDateTime, TDateTime, const AnsiString&,
                                      bool& go) { go = false; };
       },
       [&] {
         EXPECT_EQ(GetFileAttributesA(Target("skip.bin").c_str()), INVALID_FILE_ATTRIBUTES);
         http_.OnResponseHeaders = nullptr;
       }},
      {"no data stream: target cannot be created", s.NginxURL("/small.bin"),
       Target("no\\such\\folder\\x.bin"), "Failed,NoDataStream", nullptr, nullptr},
      {"target cannot be created, no length: into memory", s.FaultURL("/nolength?size=700"),
       Target("no\\such\\folder\\x.bin"), "Done", nullptr,
       [&] { EXPECT_TRUE(recorder_.data == Pattern(700)); }},
      {"announces fewer than it sends", s.FaultURL("/lie?size=500&send=800"), "", "Done", nullptr,
       [&] { EXPECT_TRUE(recorder_.data == Pattern(500)); }},
      {"announces 2 GB, sends 1000", s.FaultURL("/lie?size=2000000000&send=1000"), "",
       "Incomplete,Failed", nullptr,
       [&] {
         EXPECT_EQ(recorder_.incompleteBytes, 1000);
         EXPECT_TRUE(recorder_.data.substr(0, 1000) == Pattern(1000));
       }},
      {"no length announced", s.FaultURL("/nolength?size=5000"), "", "Done", nullptr,
       [&] {
         EXPECT_EQ(http_.ContentLength(), 0);
         EXPECT_TRUE(recorder_.data == Pattern(5000));
       }},
      {"redirect", s.FaultURL("/redirect?to=/echo"), "", "Done", nullptr,
       [&] {
         EXPECT_EQ(recorder_.data.rfind("GET /echo HTTP/1.1", 0), 0u) << recorder_.data;
         ASSERT_EQ(recorder_.redirects.size(), 1u);
         EXPECT_EQ(recorder_.redirects[0], s.FaultURL("/echo"));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    recorder_.Reset();
    http_.TargetFileName = row.target;
    if (row.setUp) row.setUp();
    EXPECT_EQ(Run(row.url), row.outcome);
    if (row.check) row.check();
    EXPECT_FALSE(http_.Busy());
  }
}

TEST_F(TransferTest, NoAutoRedirectReportsTheRedirectAsAStatus) {
  http_.InternetOptions.Include(ioNoAutoRedirect);
  EXPECT_EQ(Run(Servers().FaultURL("/redirect?to=/echo")), "StatusError,Failed");
  EXPECT_EQ(recorder_.statusError, 302);
}

TEST_F(TransferTest, RangeOfTheSettingsIsAskedFor) {
  http_.Range()->StartRange = 100;
  http_.Range()->EndRange = 199;
  EXPECT_EQ(Run(Servers().NginxURL("/small.bin")), "Done");
  EXPECT_EQ(http_.StatusCode(), 206);
  EXPECT_TRUE(recorder_.data == Pattern(100, 100));

  recorder_.Reset();
  http_.Range()->StartRange = 5000;
  http_.Range()->EndRange = 0;
  EXPECT_EQ(Run(Servers().NginxURL("/small.bin")), "StatusError,Failed");
  EXPECT_EQ(recorder_.statusError, 416);
}

// Resume: the local file holds the first bytes, FetchRange asks for the rest.
TEST_F(TransferTest, ResumeCases) {
  struct Case {
    const char* name;
    std::string local;  // the partial file before the transfer
    DWORD resumeStart;
    std::string path;  // on nginx, or on the fault server when it starts with "!"
    std::string outcome;
    std::string file;  // the file afterwards
  };
  std::string wrongTail = Pattern(200) + std::string(200, 'x');
  const std::vector<Case> cases = {
      {"206 appended", Pattern(400), 400, "/small.bin", "Done", Pattern(1000)},
      {"overlap checked and passed", Pattern(400), 200, "/small.bin", "Done", Pattern(1000)},
      {"first block differs: again from 0", wrongTail, 200, "/small.bin", "Done", Pattern(1000)},
      {"longer local file loses its tail", Pattern(400) + std::string(900, 'y'), 400, "/small.bin",
       "Done", Pattern(1000)},
      {"resume point past the file's end: again from 0", Pattern(100), 400, "/small.bin", "Done",
       Pattern(1000)},
      {"200 rewrites from the start", std::string(400, 'z'), 400, "!/norange?size=1000", "Done",
       Pattern(1000)},
      {"416, file complete already", Pattern(1000), 1000, "/small.bin", "Failed,NoDataStream",
       Pattern(1000)},
      {"416, remote file of another length: again from 0", std::string(1200, 'q'), 1200,
       "/small.bin", "Done", Pattern(1000)},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder_.Reset();
    http_.TargetFileName = Target("resume" + std::to_string(index++) + ".bin");
    testsupport::WriteFile(http_.TargetFileName, c.local);
    http_.URL =
        c.path[0] == '!' ? Servers().FaultURL(c.path.substr(1)) : Servers().NginxURL(c.path);
    ASSERT_TRUE(http_.FetchRange(c.resumeStart, 0, false));
    ASSERT_TRUE(WaitUntilIdle(http_));
    EXPECT_EQ(recorder_.Outcome(), c.outcome);
    EXPECT_TRUE(testsupport::ReadFile(http_.TargetFileName) == c.file)
        << "file of " << testsupport::ReadFile(http_.TargetFileName).size() << " bytes";
    if (c.outcome == "Done") {
      EXPECT_EQ(recorder_.doneSize, 1000);
    }
  }
}

TEST_F(TransferTest, LoginHandlerThatRetriesGetsThrough) {
  std::vector<AnsiString> realms;
  http_.OnLoginRequest = [&](TObject*, const AnsiString& realm, bool& tryAgain) {
    realms.push_back(realm);
    EXPECT_EQ(http_.ContentType(), realm);  // the realm stands in ContentType meanwhile
    http_.HTTPUsername = "test";
    http_.HTTPPassword = realms.size() == 1 ? "wrong" : "secret";
    tryAgain = true;
  };
  EXPECT_EQ(Run(Servers().NginxURL("/protected/secret.bin")), "Done");
  EXPECT_TRUE(recorder_.data == Pattern(2048));
  ASSERT_EQ(realms.size(), 2u);  // once with nothing, once with the wrong password
  EXPECT_EQ(realms[0], "Deskpin Test");
}

TEST_F(TransferTest, LoginHandlerThatGivesUpLeavesThe401) {
  int calls = 0;
  http_.OnLoginRequest = [&](TObject*, const AnsiString&, bool& tryAgain) { ++calls; };
  // WinInet keeps credentials that worked per server for the whole process:
  // a server no test logged in to.
  EXPECT_EQ(Run(Servers().FaultURL("/auth?user=nobody&pass=never")), "StatusError,Failed");
  EXPECT_EQ(recorder_.statusError, 401);
  EXPECT_EQ(calls, 1);
}

TEST_F(TransferTest, ChallengeWithoutQuotedValueIsPassedWhole) {
  AnsiString seen;
  http_.OnLoginRequest = [&](TObject*, const AnsiString& realm, bool&) { seen = realm; };
  EXPECT_EQ(Run(Servers().FaultURL("/auth?challenge=Basic realm=plain")), "StatusError,Failed");
  EXPECT_EQ(seen, "Basic realm=plain");
}

TEST_F(TransferTest, CredentialsOfTheComponentAreUsedWithoutAsking) {
  http_.HTTPUsername = "u1";
  http_.HTTPPassword = "p1";
  EXPECT_EQ(Run(Servers().FaultURL("/auth?user=u1&pass=p1")), "Done");
  EXPECT_EQ(recorder_.data, "welcome u1");
}

TEST_F(TransferTest, ProxyAuthenticationThroughTheHandler) {
  http_.Proxy()->AccessType = atUseProxy;
  http_.Proxy()->ProxyServer = "127.0.0.1";
  http_.Proxy()->ProxyPort = Servers().fault;
  http_.Proxy()->ProxyBypass = "";
  const std::string url = "http://127.0.0.1:" + std::to_string(Servers().fault) + "/echo";

  EXPECT_EQ(Run(url), "StatusError,Failed");  // no handler: the 407 is final
  EXPECT_EQ(recorder_.statusError, 407);

  recorder_.Reset();
  int calls = 0;
  http_.OnProxyAuthenticationRequest = [&](TObject*, AnsiString& user, AnsiString& password,
                                           bool& tryAgain) {
    ++calls;
    user = "proxyuser";
    password = "proxypass";
    tryAgain = true;
  };
  EXPECT_EQ(Run(url), "Done");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(recorder_.data.rfind("GET " + url + " HTTP/1.1", 0), 0u) << recorder_.data;
  EXPECT_EQ(http_.Proxy()->ProxyUsername, "proxyuser");  // kept for the next transfer

  recorder_.Reset();
  calls = 0;
  EXPECT_EQ(Run(url), "Done");  // stored credentials go along at once
  EXPECT_EQ(calls, 0);
}

TEST_F(TransferTest, HttpsNeedsTheIgnoreFlagsForASelfSignedCertificate) {
  if (Servers().nginxTls == 0) GTEST_SKIP() << "no openssl: nginx runs without TLS";
  EXPECT_EQ(Run(Servers().TlsURL("/small.bin")), "Unreachable,Failed");

  recorder_.Reset();
  http_.InternetOptions = {ioKeepConnection, ioIgnoreCertificateInvalid,
                           ioIgnoreCertificateDateInvalid, ioIgnoreUnknownCertificateAuthority};
  EXPECT_EQ(Run(Servers().TlsURL("/small.bin")), "Done");
  EXPECT_TRUE(recorder_.data == Pattern(1000));
}

TEST_F(TransferTest, ReceiveTimeoutEndsAStalledServer) {
  http_.Timeouts()->ReceiveTimeout = 1000;
  DWORD start = GetTickCount();
  EXPECT_EQ(Run(Servers().FaultURL("/stall?seconds=10")), "Unreachable,Failed");
  EXPECT_LT(GetTickCount() - start, 6000u);

  recorder_.Reset();
  start = GetTickCount();
  EXPECT_EQ(Run(Servers().FaultURL("/stallbody?size=1000&send=100&seconds=10")),
            "Incomplete,Failed");
  // Wine drops what a read that times out had received so far.
  EXPECT_LE(recorder_.incompleteBytes, 100);
  EXPECT_EQ(http_.ContentLength(), 1000);
  EXPECT_LT(GetTickCount() - start, 6000u);
}

// What the server received: headers, flags that show on the wire, verb and body.
TEST_F(TransferTest, RequestAsTheServerSeesIt) {
  http_.Referrer = "http://referrer.example/page";
  http_.UserAgent = "DeskpinTest/1";
  http_.ExtraHeaders = {"X-One: 1", "X-Two: two"};
  http_.TransferCacheOptions.Include(coPragmaNoCache);
  EXPECT_EQ(Run(Servers().FaultURL("/echo?q=a b<c>")), "Done");
  const std::string seen = recorder_.data;
  EXPECT_EQ(seen.rfind("GET /echo?q=a%20b%3Cc%3E HTTP/1.1\r\n", 0), 0u) << seen;
  for (const char* line : {"User-Agent: DeskpinTest/1\r\n", "Accept: text/html, */*\r\n",
                           "Referer: http://referrer.example/page\r\n", "X-One: 1\r\n",
                           "X-Two: two\r\n", "Pragma: no-cache\r\n"})
    EXPECT_NE(seen.find(line), std::string::npos) << line << " missing in\n" << seen;
  EXPECT_EQ(LowerCase(seen).find("range:"), std::string::npos);

  recorder_.Reset();
  http_.TransferCacheOptions.Exclude(coPragmaNoCache);
  http_.FormData = "a=1&b=%20";
  http_.Range()->StartRange = 5;
  EXPECT_EQ(Run(Servers().FaultURL("/echo")), "Done");
  EXPECT_EQ(recorder_.data.rfind("POST /echo HTTP/1.1\r\n", 0), 0u) << recorder_.data;
  EXPECT_NE(recorder_.data.find("Content-Type: application/x-www-form-urlencoded\r\n"),
            std::string::npos);
  EXPECT_NE(LowerCase(recorder_.data).find("range: bytes=5-\r\n"), std::string::npos)
      << recorder_.data;
  EXPECT_EQ(recorder_.data.find("Pragma: no-cache"), std::string::npos);
  EXPECT_EQ(recorder_.data.substr(recorder_.data.size() - 9), "a=1&b=%20");

  recorder_.Reset();
  http_.RequestVerb = hvGet;
  http_.Range()->StartRange = 0;
  EXPECT_EQ(Run(Servers().FaultURL("/echo")), "Done");
  EXPECT_EQ(recorder_.data.rfind("GET /echo", 0), 0u);
}

TEST_F(TransferTest, LocalFileURL) {
  const std::string path = Target("local.bin");
  testsupport::WriteFile(path, Pattern(3000));
  EXPECT_EQ(Run("file:///" + path), "Done");
  EXPECT_TRUE(recorder_.data == Pattern(3000));

  recorder_.Reset();
  http_.TargetFileName = Target("copy.bin");
  testsupport::WriteFile(http_.TargetFileName, Pattern(1000));
  http_.URL = "file:///" + path;
  ASSERT_TRUE(http_.FetchRange(1000, 0, false));
  ASSERT_TRUE(WaitUntilIdle(http_));
  EXPECT_EQ(recorder_.Outcome(), "Done");
  EXPECT_TRUE(testsupport::ReadFile(http_.TargetFileName) == Pattern(3000));

  recorder_.Reset();
  http_.TargetFileName.clear();
  EXPECT_EQ(Run("file:///" + Target("missing.bin")), "StatusError,Failed");
  EXPECT_EQ(recorder_.statusError, 404);
}

TEST_F(TransferTest, ProgressFiguresOfARealTransfer) {
  http_.OnTransferProgress = [&](TObject*, const AnsiString&, int size, int read, int elapsed,
                                 int left, std::uint8_t percent, float rate, TStream* data) {
    recorder_.progress.push_back({size, read, elapsed, left, percent, rate});
    EXPECT_NE(data, nullptr);
  };
  // 200 KB in 10 pieces 250 ms apart: about two and a half seconds.
  EXPECT_EQ(Run(Servers().FaultURL("/slow?size=204800&chunk=20480&ms=250")), "Done");
  const auto& p = recorder_.progress;
  ASSERT_GE(p.size(), 10u);
  for (std::size_t i = 1; i < p.size(); ++i) EXPECT_GT(p[i].bytesRead, p[i - 1].bytesRead);
  EXPECT_EQ(p.back().fileSize, 204800);
  EXPECT_EQ(p.back().bytesRead, 204800);
  EXPECT_EQ(p.back().percent, 100);
  EXPECT_GE(p.back().elapsed, 2);
  EXPECT_EQ(p.back().left, 0);
  // 200 KB over the whole seconds counted so far.
  EXPECT_NEAR(p.back().rate, 200.0f / p.back().elapsed, 0.01f);
  EXPECT_EQ(http_.PercentsDone(), 100);
  // Halfway the estimate is about as long again as the time so far.
  const auto& half = p[p.size() / 2];
  if (half.elapsed > 0) {
    EXPECT_NEAR(half.left, half.elapsed * (204800.0 / half.bytesRead - 1), 1.0);
  }
}

}  // namespace
