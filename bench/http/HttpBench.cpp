// Transfer rates of the HTTP component against a plain WinInet read loop, and
// the cost of a bare cross-thread SendMessage round trip. One measurement per
// run, so that the peak memory of the process belongs to it alone.
//
//   HttpBench component URL BUFFER PROGRESS(0|1) TARGET|-   (- : into memory)
//   HttpBench plain URL BUFFER
//   HttpBench roundtrip COUNT [GAP]     bare SendMessage, each after GAP us of work
//   HttpBench synchronize COUNT [GAP]   the thread component's Synchronize
//
// Prints one line: key=value pairs.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "Application.h"
#include "nxHTTP.h"

namespace {

// The peak of the process's working set (Wine fills it from the Linux process).
long PeakResidentKB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return -1;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart;
}

LARGE_INTEGER Tick() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

int Component(const char* url, int buffer, bool progress, const std::string& target) {
  TnxCustomHTTP http(nullptr);
  http.Proxy()->AccessType = atDirect;
  http.URL = url;
  http.SetTransferBufferSize(buffer);
  if (target != "-") http.TargetFileName = target;
  long steps = 0;
  long long bytes = 0;
  bool ok = false;
  if (progress)
    http.OnTransferProgress = [&](TObject*, const AnsiString&, int, int, int, int, std::uint8_t,
                                  float, TStream*) { ++steps; };
  http.OnTransferDone = [&](TObject*, const AnsiString&, int size, TStream*) {
    ok = true;
    bytes = size;
  };
  LARGE_INTEGER start = Tick();
  http.Fetch(true);
  double s = Seconds(start, Tick());
  std::printf("ok=%d bytes=%lld seconds=%.4f mbps=%.1f steps=%ld peakKB=%ld\n", ok ? 1 : 0, bytes,
              s, bytes / 1048576.0 / s, steps, PeakResidentKB());
  return ok ? 0 : 1;
}

int Plain(const char* url, int buffer) {
  AnsiString scheme, host, path, user, password, extra;
  WORD port = 0;
  SplitURL(url, scheme, host, path, user, password, extra, port);
  LARGE_INTEGER start = Tick();
  HINTERNET session = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  // The flags the component opens its requests with by default.
  HINTERNET request =
      HttpOpenRequestA(connection, "GET", path.c_str(), nullptr, nullptr, nullptr,
                       RequestFlags(scheme, kDefaultCacheOptions, kDefaultInternetOptions), 0);
  long long bytes = 0;
  if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    std::string data(static_cast<std::size_t>(buffer), '\0');
    DWORD n = 0;
    while (InternetReadFile(request, data.data(), static_cast<DWORD>(buffer), &n) && n > 0)
      bytes += n;
  }
  // The component's figures include closing its handles too.
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(session);
  double s = Seconds(start, Tick());
  std::printf("ok=%d bytes=%lld seconds=%.4f mbps=%.1f peakKB=%ld\n", bytes > 0, bytes, s,
              bytes / 1048576.0 / s, PeakResidentKB());
  return bytes > 0 ? 0 : 1;
}

LRESULT CALLBACK EchoProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_APP) return 0;
  return DefWindowProcA(hwnd, msg, w, l);
}

// Keeps the calling thread busy for a while, as receiving a block would.
void Work(int us) {
  LARGE_INTEGER start = Tick();
  while (Seconds(start, Tick()) * 1e6 < us) {
  }
}

// Runs call count times, each after `gap` us of work, and returns the mean
// time of one call in us.
template <typename F>
double TimeCalls(int count, int gap, F call) {
  double seconds = 0;
  for (int i = 0; i < count; ++i) {
    if (gap > 0) Work(gap);
    LARGE_INTEGER start = Tick();
    call();
    seconds += Seconds(start, Tick());
  }
  return seconds * 1e6 / count;
}

// A bare SendMessage from a worker to a window of the main thread, which sits
// in GetMessage.
int RoundTrip(int count, int gap) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = EchoProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "BenchEcho";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("BenchEcho", "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, 0);
  double us = 0;
  bool done = false;
  std::thread worker([&] {
    us = TimeCalls(count, gap, [window] { SendMessageA(window, WM_APP, 0, 0); });
    done = true;
    PostMessageA(window, WM_NULL, 0, 0);
  });
  MSG msg;
  while (!done && GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  worker.join();
  std::printf("ok=1 count=%d gap=%d us=%.1f\n", count, gap, us);
  return 0;
}

// The same through the thread component: its worker calls Synchronize with
// nothing to run while the main thread waits in Start, as during a transfer.
int SynchronizeTrip(int count, int gap) {
  TnxCustomThread thread(nullptr);
  double us = 0;
  TNotifyEvent execute;
  execute = [&](TObject*) { us = TimeCalls(count, gap, [&thread] { thread.Synchronize([] {}); }); };
  thread.SetOnExecute(execute);
  thread.SetWaitForCompletion(true);
  thread.Start();
  std::printf("ok=1 count=%d gap=%d us=%.1f\n", count, gap, us);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (argc >= 6 && mode == "component")
    return Component(argv[2], std::atoi(argv[3]), std::atoi(argv[4]) != 0, argv[5]);
  if (argc >= 4 && mode == "plain") return Plain(argv[2], std::atoi(argv[3]));
  const int gap = argc >= 4 ? std::atoi(argv[3]) : 0;
  if (argc >= 3 && mode == "roundtrip") return RoundTrip(std::atoi(argv[2]), gap);
  if (argc >= 3 && mode == "synchronize") return SynchronizeTrip(std::atoi(argv[2]), gap);
  std::fprintf(stderr, "usage: HttpBench component|plain|roundtrip|synchronize ...\n");
  return 2;
}
