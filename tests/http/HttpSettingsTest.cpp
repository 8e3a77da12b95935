// Settings, stored credentials, the download file stream, URL routines, status
// texts, request flags and progress figures: everything of the HTTP component
// that needs no server.
#include <gtest/gtest.h>

#include <cmath>

#include "FormText.h"
#include "TestSupport.h"
#include "nxHTTP.h"

namespace {

// --- "LInfo"

TEST(LoginInfo, OneLetterUserIsThreeScrambledBytes) {
  TBytes record = TnxLoginComponent::EncodeLoginInfo("a", "");
  const std::uint8_t mask = 2 ^ kLoginInfoKey;
  EXPECT_EQ(record, (TBytes{2, static_cast<std::uint8_t>(1 ^ mask),
                            static_cast<std::uint8_t>(0x61 ^ mask)}));
}

TEST(LoginInfo, BothEmptyWritesNothingAndReadsBackEmpty) {
  TnxCustomHTTP http(nullptr);
  TFormObject form = WriteComponent(&http);
  for (auto& [name, value] : form.props) EXPECT_NE(name, "LInfo");

  TnxCustomHTTP read(nullptr);
  read.HTTPUsername = "left";
  ReadComponent(&read, ParseFormText("object H: TnxCustomHTTP\nend\n"));
  EXPECT_EQ(read.HTTPUsername, "left");  // nothing stored, nothing changed
}

TEST(LoginInfo, RoundTripsThroughTheFormText) {
  struct Case {
    const char* user;
    const char* password;
  };
  const AnsiString longest(253, 'x');
  for (const Case& c : {Case{"a", ""}, Case{"", "p"}, Case{"test", "secret"},
                        Case{"\xE4\xF6\x01 ", "\xFF\x00z"}, Case{longest.c_str(), "y"}}) {
    SCOPED_TRACE(c.user);
    TnxCustomHTTP http(nullptr);
    http.SetName("H");
    http.HTTPUsername = c.user;
    http.HTTPPassword = c.password;
    std::string text = FormatFormText(WriteComponent(&http));
    EXPECT_NE(text.find("LInfo = {"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);  // never in plain text

    TnxCustomHTTP read(nullptr);
    ReadComponent(&read, ParseFormText(text));
    EXPECT_EQ(read.HTTPUsername, c.user);
    EXPECT_EQ(read.HTTPPassword, c.password);
  }
}

TEST(LoginInfo, TooLongCredentialsFailToBeWrittenWithAClearMessage) {
  TnxCustomHTTP http(nullptr);
  http.HTTPUsername = AnsiString(200, 'u');
  http.HTTPPassword = AnsiString(55, 'p');  // 255 together: one too many
  try {
    WriteComponent(&http);
    FAIL() << "writing must fail";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("255 bytes"), std::string::npos) << e.what();
  }
}

TEST(LoginInfo, DamagedRecordsFailToRead) {
  const TBytes good = TnxLoginComponent::EncodeLoginInfo("user", "pw");
  TBytes cut(good.begin(), good.end() - 1);
  TBytes longer = good;
  longer.push_back(0);
  TBytes userTooLong = good;
  userTooLong[1] = static_cast<std::uint8_t>(50 ^ (good[0] ^ kLoginInfoKey));
  AnsiString user, password;
  for (const TBytes& bad : {TBytes{}, TBytes{0}, cut, longer, userTooLong})
    EXPECT_THROW(TnxLoginComponent::DecodeLoginInfo(bad, user, password), EReadError);
  TnxLoginComponent::DecodeLoginInfo(good, user, password);
  EXPECT_EQ(user, "user");
  EXPECT_EQ(password, "pw");
}

// --- sub-objects

TEST(Settings, ComponentStartsWithItsDefaults) {
  TnxCustomHTTP http(nullptr);
  EXPECT_EQ(http.AcceptTypes, "text/html, */*");
  EXPECT_EQ(http.UserAgent.rfind("qdHTTP component (", 0), 0u);
  EXPECT_EQ(http.TransferBufferSize(), 4096);
  EXPECT_EQ(http.TransferCacheOptions.Bits(), 38u);
  EXPECT_EQ(http.InternetOptions.Bits(), 32u);
  EXPECT_EQ(http.RequestVerb, hvAuto);
  EXPECT_EQ(http.ThreadPriority(), tpNormal);
  EXPECT_FALSE(http.WaitForCompletion());
  EXPECT_EQ(http.Proxy()->AccessType, atPreconfig);
  EXPECT_EQ(http.Proxy()->ProxyPort, 8080);
  EXPECT_EQ(http.Proxy()->ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(http.StatusCode(), -1);
  EXPECT_FALSE(http.Busy());
  EXPECT_FALSE(http.Transferring());
  EXPECT_EQ(http.TargetFileAttributes()->Complete(), (TnxFileAttributes{atrArchive}));
  EXPECT_EQ(http.TargetFileAttributes()->Incomplete(),
            (TnxFileAttributes{atrArchive, atrTemporary}));
}

TEST(Settings, AssignCopiesResetsFromNothingAndRefusesOtherClasses) {
  TnxHTTPProxy a, b;
  a.AccessType = atUseProxy;
  a.ProxyPort = 3128;
  a.ProxyServer = "proxy";
  a.ProxyBypass = "";
  a.ProxyUsername = "pu";
  a.ProxyPassword = "pp";
  b.Assign(&a);
  EXPECT_EQ(b.AccessType, atUseProxy);
  EXPECT_EQ(b.ProxyPort, 3128);
  EXPECT_EQ(b.ProxyServer, "proxy");
  EXPECT_EQ(b.ProxyBypass, "");
  EXPECT_EQ(b.ProxyPassword, "pp");
  b.Assign(nullptr);
  EXPECT_EQ(b.AccessType, atPreconfig);
  EXPECT_EQ(b.ProxyPort, 8080);
  EXPECT_EQ(b.ProxyServer, "");
  EXPECT_EQ(b.ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(b.ProxyUsername, "");

  TnxOutputFileAttributes attributes;
  attributes.SetComplete({atrHidden});
  attributes.SetIncomplete({});
  attributes.Assign(nullptr);
  EXPECT_EQ(attributes.Complete(), (TnxFileAttributes{atrArchive}));
  EXPECT_EQ(attributes.Incomplete(), (TnxFileAttributes{atrArchive, atrTemporary}));

  TnxHTTPRange range;
  range.StartRange = 10;
  range.EndRange = 4000000000u;
  TnxHTTPRange copy;
  copy.Assign(&range);
  EXPECT_EQ(copy.EndRange, 4000000000u);
  TnxHTTPTimeouts timeouts;
  EXPECT_THROW(timeouts.Assign(&range), Exception);
  EXPECT_THROW(range.Assign(&a), Exception);
}

TEST(Settings, DirectProxyStoresNeitherServerNorBypass) {
  TnxCustomHTTP http(nullptr);
  http.SetName("H");
  http.Proxy()->AccessType = atDirect;
  http.Proxy()->ProxyServer = "proxy.example";
  http.Proxy()->ProxyBypass = "other;";
  http.Proxy()->ProxyPort = 3128;
  std::string text = FormatFormText(WriteComponent(&http));
  EXPECT_EQ(text.find("ProxyServer"), std::string::npos) << text;
  EXPECT_EQ(text.find("ProxyBypass"), std::string::npos) << text;
  EXPECT_NE(text.find("Proxy.ProxyPort = 3128"), std::string::npos) << text;

  TnxCustomHTTP read(nullptr);
  read.Proxy()->ProxyBypass = "whatever;";
  read.Proxy()->Assign(nullptr);
  ReadComponent(&read, ParseFormText(text));
  EXPECT_EQ(read.Proxy()->AccessType, atDirect);
  EXPECT_EQ(read.Proxy()->ProxyBypass, "127.0.0.1;");

  http.Proxy()->AccessType = atUseProxy;
  text = FormatFormText(WriteComponent(&http));
  EXPECT_NE(text.find("Proxy.ProxyServer = \"proxy.example\""), std::string::npos) << text;
  EXPECT_NE(text.find("Proxy.ProxyBypass = \"other;\""), std::string::npos) << text;
}

// --- TnxFileStream

class FileStreamTest : public testing::Test {
 protected:
  void SetUp() override { folder_ = testsupport::MakeTempFolder("nxfs"); }
  void TearDown() override { testsupport::RemoveTree(folder_); }
  std::string folder_;
};

TEST_F(FileStreamTest, KeepsOrTruncatesAndPutsProtectionBack) {
  const std::string path = folder_ + "f.bin";
  testsupport::WriteFile(path, "0123456789");
  {
    TnxFileStream keep(path, false, false);
    EXPECT_EQ(keep.Size(), 10);
  }
  {
    TnxFileStream rewrite(path, true, false);
    EXPECT_EQ(rewrite.Size(), 0);
    EXPECT_EQ(rewrite.Write("abc", 3), 3);
  }
  EXPECT_EQ(testsupport::ReadFile(path), "abc");

  const DWORD protectedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), protectedAttributes));
  {
    TnxFileStream stream(path, false, true);
    stream.Seek(0, soEnd);
    EXPECT_EQ(stream.Write("d", 1), 1);
  }
  EXPECT_EQ(testsupport::ReadFile(path), "abcd");
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & protectedAttributes, protectedAttributes);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileStreamTest, FailureNamesTheFileAndTheReason) {
  const std::string path = folder_ + "missing\\dir\\f.bin";
  try {
    TnxFileStream stream(path, true, true);
    FAIL() << "opening must fail";
  } catch (const EFCreateError& e) {
    std::string message = e.what();
    EXPECT_EQ(message.rfind("Cannot create file \"", 0), 0u) << message;
    EXPECT_NE(message.find("f.bin\". "), std::string::npos) << message;
    EXPECT_GT(message.size(), path.size() + 24) << "the system's reason is missing";
  }
}

// --- URL routines

TEST(URLRoutines, SplitURLCases) {
  struct Case {
    const char* url;
    const char *scheme, *host, *path, *user, *password, *extra;
    WORD port;
  };
  const Case cases[] = {
      {"www.example.com/dir/app.exe", "http", "www.example.com", "/dir/app.exe", "", "", "", 80},
      {"https://u:p@h.example:8443/a/b?x=1#f", "https", "h.example", "/a/b", "u", "p", "?x=1#f",
       8443},
      {"ftp://files.example/pub/", "ftp", "files.example", "/pub/", "", "", "", 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    AnsiString scheme, host, path, user, password, extra;
    WORD port = 0;
    ASSERT_TRUE(SplitURL(c.url, scheme, host, path, user, password, extra, port));
    EXPECT_EQ(scheme, c.scheme);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(user, c.user);
    EXPECT_EQ(password, c.password);
    EXPECT_EQ(extra, c.extra);
    EXPECT_EQ(port, c.port);
  }
}

TEST(URLRoutines, FailedSplitLeavesOutputsAlone) {
  AnsiString scheme = "s", host = "h", path = "p", user = "u", password = "w", extra = "e";
  WORD port = 7;
  const AnsiString longHost = "http://" + AnsiString(300, 'h') + "/x";
  EXPECT_FALSE(SplitURL(longHost, scheme, host, path, user, password, extra, port));
  EXPECT_EQ(host, "h");
  EXPECT_EQ(port, 7);
  EXPECT_EQ(URLHostOf(longHost), "");
  EXPECT_EQ(URLPathFileName(longHost), "");
}

TEST(URLRoutines, EscapeExtraInfo) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"?a b", "?a%20b"},
      {"<x>", "%3Cx%3E"},
      {"\xE9", "%E9"},
      {"/?&=~", "/?&=~"},
      {"#%*+", "%23%25%2A%2B"},
      {"\x01\x1F\x7F\x80", "%01%1F\x7F%80"},
      {"!\"$'(),-.:;@[]", "!\"$'(),-.:;@[]"},
  };
  for (auto& [in, out] : cases) EXPECT_EQ(EscapeExtraInfo(in), out) << in;
}

TEST(URLRoutines, HostAndFileNames) {
  const std::pair<const char*, const char*> files[] = {
      {"http://h/dir/app.exe?x=1", "app.exe"},
      {"http://h/dir/", ""},
      {"h/only.txt", "only.txt"},
      {"http://h", ""},
  };
  for (auto& [url, name] : files) EXPECT_EQ(URLPathFileName(url), name) << url;
  TnxCustomHTTP http(nullptr);
  http.URL = "https://updates.example:8443/v/Deskpin.exe?r=2";
  EXPECT_EQ(http.URLHostName(), "updates.example");
  EXPECT_EQ(http.URLFileName(), "Deskpin.exe");
}

TEST(URLRoutines, StatusTexts) {
  const std::pair<DWORD, const char*> cases[] = {
      {10, "Resolving name"}, {21, "Connected"},     {43, "Prefetch"},       {70, "Handle closing"},
      {110, "Redirect"},      {200, "State change"}, {99, "Unknown status"}, {0, "Unknown status"},
  };
  for (auto& [status, text] : cases) EXPECT_STREQ(StatusText(status), text) << status;
}

// --- request flags

TEST(RequestFlags, FollowTheSchemeAndTheOptions) {
  TnxCacheOptions updateCache = kDefaultCacheOptions;
  updateCache.Include(coPragmaNoCache);
  const DWORD common =
      INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK;
  EXPECT_EQ(RequestFlags("http", updateCache, kDefaultInternetOptions),
            common | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NEED_FILE);
  EXPECT_EQ(RequestFlags("http", kDefaultCacheOptions, kDefaultInternetOptions),
            common | INTERNET_FLAG_NEED_FILE);
  EXPECT_EQ(RequestFlags("https", updateCache, kDefaultInternetOptions),
            common | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_SECURE);

  const std::pair<TnxInternetOption, DWORD> options[] = {
      {ioIgnoreCertificateInvalid, INTERNET_FLAG_IGNORE_CERT_CN_INVALID},
      {ioIgnoreCertificateDateInvalid, INTERNET_FLAG_IGNORE_CERT_DATE_INVALID},
      {ioIgnoreUnknownCertificateAuthority, 0},  // an option on the request, not a flag
      {ioIgnoreRedirectToHTTP, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP},
      {ioIgnoreRedirectToHTTPS, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS},
      {ioKeepConnection, INTERNET_FLAG_KEEP_CONNECTION},
      {ioNoAuthentication, INTERNET_FLAG_NO_AUTH},
      {ioNoAutoRedirect, INTERNET_FLAG_NO_AUTO_REDIRECT},
      {ioNoCookies, INTERNET_FLAG_NO_COOKIES},
  };
  for (auto& [option, flag] : options)
    EXPECT_EQ(RequestFlags("http", {}, {option}), flag) << static_cast<int>(option);
  const std::pair<TnxCacheOption, DWORD> cache[] = {
      {coAlwaysReload, INTERNET_FLAG_RELOAD},
      {coReloadIfNoExpireInformation, INTERNET_FLAG_HYPERLINK},
      {coReloadUpdatedObjects, INTERNET_FLAG_RESYNCHRONIZE},
      {coPragmaNoCache, INTERNET_FLAG_PRAGMA_NOCACHE},
      {coNoCacheWrite, INTERNET_FLAG_NO_CACHE_WRITE},
      {coCreateTempFilesIfCantCache, INTERNET_FLAG_NEED_FILE},
      {coUseCacheIfNetFail, INTERNET_FLAG_CACHE_IF_NET_FAIL},
  };
  for (auto& [option, flag] : cache)
    EXPECT_EQ(RequestFlags("http", {option}, {}), flag) << static_cast<int>(option);
  EXPECT_EQ(RequestFlags("https", {coCreateTempFilesIfCantCache}, {}), INTERNET_FLAG_SECURE);
}

// --- progress figures

TEST(ProgressFigures, Cases) {
  struct Case {
    int contentLength, bytes;
    DWORD resume, elapsedMs;
    int percent, elapsed, left;
    float rate;
  };
  const Case cases[] = {
      {4096, 3072, 0, 2000, 75, 2, 1, 1.5f},                  // two seconds in, 3 KB received
      {1000, 500, 0, 999, 50, 0, 0, 500 / 1024.0f},           // first second: KB so far
      {0, 5000, 0, 3500, 0, 3, -3, 5000 / 1024.0f / 3},       // no announced length
      {1000, 250, 3000, 4000, 81, 4, 12, 250 / 1024.0f / 4},  // resumed: 3250 of 4000
      {100, 250, 0, 1000, 250, 1, -1, 250 / 1024.0f},         // more bytes than announced
      {200, 1, 0, 1000, 0, 1, 199, 1 / 1024.0f},              // 0.5 % rounds to even 0
      {200, 3, 0, 1000, 2, 1, 66, 3 / 1024.0f},               // 1.5 % rounds to even 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.contentLength << "/" << c.bytes << "+" << c.resume);
    TnxProgressFigures f = ComputeProgressFigures(c.contentLength, c.bytes, c.resume, c.elapsedMs);
    EXPECT_EQ(f.PercentsDone, static_cast<std::uint8_t>(c.percent));
    EXPECT_EQ(f.ElapsedTime, c.elapsed);
    EXPECT_EQ(f.EstimatedTimeLeft, c.left);
    EXPECT_FLOAT_EQ(f.TransferRate, c.rate);
  }
}

}  // namespace
