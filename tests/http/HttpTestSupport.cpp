#include "HttpTestSupport.h"

#include <cstdlib>
#include <fstream>

#include "Application.h"
#include "TestSupport.h"

namespace httptest {

namespace {

std::string StatePath(const std::string& relative) {
  const char* state = std::getenv("DESKPIN_HTTP_STATE");
  if (!state) return {};
  std::string path = std::string("Z:") + state + "/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string ReadState(const std::string& relative) {
  std::ifstream in(StatePath(relative));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text;
}

}  // namespace

const TServers& Servers() {
  static const TServers servers = [] {
    TServers s;
    std::string ports = ReadState("nginx/ports");
    std::sscanf(ports.c_str(), "%d %d", &s.nginx, &s.nginxTls);
    s.fault = std::atoi(ReadState("fault/port").c_str());
    s.www = StatePath("nginx/www") + "\\";
    return s;
  }();
  if (servers.nginx == 0 || servers.fault == 0)
    ADD_FAILURE() << "test servers not found: run through CTest (DESKPIN_HTTP_STATE)";
  return servers;
}

std::string TServers::NginxURL(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(nginx) + path;
}
std::string TServers::TlsURL(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(nginxTls) + path;
}
std::string TServers::FaultURL(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(fault) + path;
}

std::string Pattern(std::size_t size, std::size_t start) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(((start + i) * 31 + 7) % 251);
  return bytes;
}

std::string StreamBytes(TStream* stream) {
  if (!stream) return {};
  std::int64_t position = stream->Position();
  stream->SetPosition(0);
  std::string bytes(static_cast<std::size_t>(stream->Size()), '\0');
  long n = stream->Read(bytes.data(), static_cast<long>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(n));
  stream->SetPosition(position);
  return bytes;
}

TRecorder::TRecorder(TnxCustomHTTP& http) {
  auto note = [this](const char* name) {
    return [this, name](TObject*) { events.push_back(name); };
  };
  http.OnTransferDone = [this](TObject*, const AnsiString&, int size, TStream* data) {
    events.push_back("Done");
    doneSize = size;
    Keep(data);
  };
  http.OnTransferIncomplete = [this](TObject*, const AnsiString&, int length, int bytes,
                                     TStream* data) {
    events.push_back("Incomplete");
    incompleteLength = length;
    incompleteBytes = bytes;
    Keep(data);
  };
  http.OnHTTPStatusError = [this](TObject*, int status, TStream* data) {
    events.push_back("StatusError");
    statusError = status;
    Keep(data);
  };
  http.OnServerUnreachable = note("Unreachable");
  http.OnTransferSkipped = note("Skipped");
  http.OnTransferFailed = note("Failed");
  http.OnTransferAborted = note("Aborted");
  http.OnNoDataStream = note("NoDataStream");
  http.OnRedirect = [this](TObject*, const AnsiString& url) { redirects.push_back(url); };
}

void TRecorder::Reset() {
  events.clear();
  data.clear();
  dataStream = false;
  dataStreamSize = dataStreamPosition = -1;
  doneSize = incompleteLength = incompleteBytes = -1;
  statusError = 0;
  progress.clear();
  redirects.clear();
}

void TRecorder::Keep(TStream* stream) {
  dataStream = stream != nullptr;
  dataStreamSize = stream ? stream->Size() : -1;
  dataStreamPosition = stream ? stream->Position() : -1;
  data = StreamBytes(stream);
}

std::string TRecorder::Outcome() const {
  std::string joined;
  for (const std::string& e : events) joined += (joined.empty() ? "" : ",") + e;
  return joined;
}

void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    Application().ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool WaitUntilIdle(TnxCustomHTTP& http, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (http.Busy() || http.Transferring()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Application().ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  Application().ProcessMessages();
  return true;
}

TTempFolder::TTempFolder() : path_(testsupport::MakeTempFolder("nxhttp")) {}
TTempFolder::~TTempFolder() {
  testsupport::RemoveTree(path_);
}

}  // namespace httptest
