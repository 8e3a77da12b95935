// Transfer rates of the HTTP component against a plain WinInet read loop, and
// the cost of a bare cross-thread SendMessage round trip. One measurement per
// run, so that the peak memory of the process belongs to it alone.
//
//   HttpBench component URL BUFFER PROGRESS(0|1) TARGET|-   (- : into memory)
//   HttpBench plain URL BUFFER
//   HttpBench roundtrip COUNT
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
  double s = Seconds(start, Tick());
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(session);
  std::printf("ok=%d bytes=%lld seconds=%.4f mbps=%.1f peakKB=%ld\n", bytes > 0, bytes, s,
              bytes / 1048576.0 / s, PeakResidentKB());
  return bytes > 0 ? 0 : 1;
}

LRESULT CALLBACK EchoProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_APP) return 0;
  return DefWindowProcA(hwnd, msg, w, l);
}

int RoundTrip(int count) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = EchoProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "BenchEcho";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("BenchEcho", "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, 0);
  double seconds = 0;
  bool done = false;
  std::thread worker([&] {
    LARGE_INTEGER start = Tick();
    for (int i = 0; i < count; ++i) SendMessageA(window, WM_APP, 0, 0);
    seconds = Seconds(start, Tick());
    done = true;
    PostMessageA(window, WM_NULL, 0, 0);
  });
  MSG msg;
  while (!done && GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  worker.join();
  std::printf("ok=1 count=%d us=%.1f\n", count, seconds * 1e6 / count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && std::string(argv[1]) == "component")
    return Component(argv[2], std::atoi(argv[3]), std::atoi(argv[4]) != 0, argv[5]);
  if (argc >= 4 && std::string(argv[1]) == "plain") return Plain(argv[2], std::atoi(argv[3]));
  if (argc >= 3 && std::string(argv[1]) == "roundtrip") return RoundTrip(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: HttpBench component|plain|roundtrip ...\n");
  return 2;
}
