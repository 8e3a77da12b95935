// What the transfer tests share: the addresses of the test servers, the byte
// pattern of their files, a recorder of every event of a component, and a
// message-pumping wait for the end of a transfer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nxHTTP.h"

namespace httptest {

struct TServers {
  int nginx = 0;
  int nginxTls = 0;
  int fault = 0;
  std::string www;  // nginx's document root, as a Windows path with a trailing backslash
  std::string NginxURL(const std::string& path) const;
  std::string TlsURL(const std::string& path) const;
  std::string FaultURL(const std::string& path) const;
};
// Read once from the state folder the fixtures wrote (DESKPIN_HTTP_STATE).
const TServers& Servers();

// The bytes of the servers' files: byte i is (i * 31 + 7) % 251.
std::string Pattern(std::size_t size, std::size_t start = 0);

std::string StreamBytes(TStream* stream);

// Records every event of a component, in order, with what it carried.
class TRecorder {
 public:
  explicit TRecorder(TnxCustomHTTP& http);
  TRecorder(const TRecorder&) = delete;  // the component's handlers point here
  TRecorder& operator=(const TRecorder&) = delete;
  // Forgets what was recorded; the handlers stay.
  void Reset();
  std::vector<std::string> events;  // the outcome and stop events, by name
  std::string Outcome() const;      // those names joined by ","
  std::string data;                 // bytes of the stream of the last outcome event
  bool dataStream = false;          // whether that event carried a stream
  std::int64_t dataStreamSize = -1;
  std::int64_t dataStreamPosition = -1;
  int doneSize = -1;
  int incompleteLength = -1, incompleteBytes = -1;
  int statusError = 0;
  struct TProgress {
    int fileSize, bytesRead, elapsed, left;
    std::uint8_t percent;
    float rate;
  };
  std::vector<TProgress> progress;
  std::vector<std::string> redirects;

 private:
  void Keep(TStream* stream);
};

// Pumps messages until the component is neither busy nor transferring, or the
// time is up. False on time-out.
bool WaitUntilIdle(TnxCustomHTTP& http, DWORD timeoutMs = 20000);
// Pumps messages for a while.
void Pump(DWORD ms);

// A new empty folder, removed again by the destructor.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace httptest
