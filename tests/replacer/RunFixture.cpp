#include "RunFixture.h"

#include <shellapi.h>

namespace replacer_test {

namespace {

constexpr char kResourceName[] = "NXUPG";
constexpr WORD kResourceLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kPollMs = 20;
constexpr DWORD kCleanupTimeoutMs = 10000;
constexpr char kTrailerMark[] = "#STANDIN tag=";

std::string TempRoot() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof(buffer), buffer);
  std::string path(buffer, n);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

// Removes a folder tree, attributes first; files of a program that is just
// ending may take a moment to come free.
bool RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  return RemoveDirectoryA(folder.c_str()) != FALSE;
}

}  // namespace

Process::~Process() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
  CloseHandle(process_);
}

bool Process::WaitFor(DWORD ms) const {
  return WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

std::string Quote(const std::string& s) {
  return "\"" + s + "\"";
}

bool ReadAll(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.assign(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  const bool ok = bytes.empty() ||
                  (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                   read == bytes.size());
  CloseHandle(file);
  return ok;
}

bool WriteAll(const std::string& path, const std::string& bytes, DWORD attributes) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  return ok && SetFileAttributesA(path.c_str(), attributes);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, nullptr, 0);
  std::wstring wide(wideLength, L'\0');
  MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, wide.data(), wideLength);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
  if (!argv) return args;
  for (int i = 0; i < count; ++i) {
    const int n = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
    args.push_back(arg);
  }
  LocalFree(argv);
  return args;
}

std::string HelperImage() {
  HRSRC info = FindResourceExA(nullptr, kResourceName, kResourceName, kResourceLanguage);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  return std::string(static_cast<const char*>(data), SizeofResource(nullptr, info));
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(kPollMs);
  }
}

void RunFixture::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  root_ =
      TempRoot() + "deskpin-upgrader-" + std::to_string(GetCurrentProcessId()) + "\\" + name + "\\";
  RemoveTree(root_);
  log_ = root_ + "standin-log.txt";
  Dir("");
  UseTempFolder("Temp");
  SetVariable("DESKPIN_STANDIN_LOG", log_);
  SetVariable("DESKPIN_STANDIN_PROBE", "");
}

void RunFixture::TearDown() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    SetEnvironmentVariableA(it->name.c_str(), it->present ? it->value.c_str() : nullptr);
  }
  saved_.clear();
  // Restarted stand-ins may still be ending.
  const std::string root = root_;
  WaitUntil([&] { return RemoveTree(root); }, kCleanupTimeoutMs);
  const std::string parent = root_.substr(0, root_.find_last_of('\\', root_.size() - 2) + 1);
  RemoveDirectoryA(parent.c_str());
}

std::string RunFixture::Dir(const std::string& relative) {
  std::string path = root_ + relative;
  if (path.back() != '\\') path += '\\';
  for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1)) {
    CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
  return path;
}

void RunFixture::Put(const std::string& path, const std::string& bytes, DWORD attributes) {
  ASSERT_TRUE(WriteAll(path, bytes, attributes)) << path;
}

std::string RunFixture::StandIn(const std::string& tag, DWORD holdMs) {
  std::string image;
  EXPECT_TRUE(ReadAll(DESKPIN_STANDIN_EXE, image)) << DESKPIN_STANDIN_EXE;
  return image + "\r\n" + kTrailerMark + tag + " hold=" + std::to_string(holdMs) + " \r\n";
}

void RunFixture::UseTempFolder(const std::string& relative) {
  temp_ = Dir(relative);
  SetVariable("TMP", temp_);
  SetVariable("TEMP", temp_);
}

void RunFixture::WriteQueue(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  Put(QueuePath(), text);
}

void RunFixture::SetProbe(const std::string& path) {
  SetVariable("DESKPIN_STANDIN_PROBE", path);
}

void RunFixture::SetVariable(const std::string& name, const std::string& value) {
  char buffer[32768];
  const DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof(buffer));
  saved_.push_back({name, std::string(buffer, n < sizeof(buffer) ? n : 0), n > 0});
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

Process RunFixture::Start(const std::string& exe, const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, root_.c_str(),
                      &si, &pi)) {
    ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
    return Process();
  }
  return Process(pi);
}

Process RunFixture::StartHelper(const std::string& arguments, bool quoteHelperPath) {
  const std::string image = HelperImage();
  EXPECT_FALSE(image.empty()) << "no helper resource";
  EXPECT_TRUE(WriteAll(HelperPath(), image, FILE_ATTRIBUTE_TEMPORARY));
  const std::string self = quoteHelperPath ? Quote(HelperPath()) : HelperPath();
  return Start(HelperPath(), arguments.empty() ? self : self + " " + arguments);
}

HelperResult RunFixture::RunHelper(const std::string& arguments, bool quoteHelperPath) {
  const Process helper = StartHelper(arguments, quoteHelperPath);
  if (!helper.handle()) return {false, STILL_ACTIVE};
  const bool finished = helper.WaitFor(kHelperTimeoutMs);
  return {finished, helper.ExitCode()};
}

std::vector<LogLine> RunFixture::Log() const {
  std::vector<LogLine> lines;
  std::string text;
  if (!ReadAll(log_, text)) return lines;
  size_t pos = 0;
  for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
    const std::string row = text.substr(pos, end - pos);
    LogLine line;
    size_t a = row.find('\t');
    size_t b = a == std::string::npos ? a : row.find('\t', a + 1);
    size_t c = b == std::string::npos ? b : row.find('\t', b + 1);
    line.kind = row.substr(0, a);
    if (a != std::string::npos) line.tag = row.substr(a + 1, b - a - 1);
    if (b != std::string::npos)
      line.value = row.substr(b + 1, c == std::string::npos ? c : c - b - 1);
    if (c != std::string::npos) line.commandLine = row.substr(c + 1);
    lines.push_back(line);
  }
  return lines;
}

bool RunFixture::WaitForLog(const std::function<bool(const std::vector<LogLine>&)>& done) {
  return WaitUntil([&] { return done(Log()); }, kLogTimeoutMs);
}

bool RunFixture::WaitForStart(const std::string& tag) {
  return WaitForLog([&](const std::vector<LogLine>& lines) {
    for (const LogLine& l : lines) {
      if (l.kind == "start" && l.tag == tag) return true;
    }
    return false;
  });
}

}  // namespace replacer_test
