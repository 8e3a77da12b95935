// The update robot as a program of its own, for the demo on a virtual
// display: answers Deskpin's update dialogs and says what it saw. With a
// folder given, it announces each stage as "shot NAME" and waits (10 s at
// most) until NAME.png appears there, so a screenshot can be taken first.
//
//   UpdateRobot.exe PROGRAM_FILE [SHOT_FOLDER]
#include <cstdio>
#include <string>

#include "UpdateRobot.h"

namespace {

constexpr DWORD kShotWaitMs = 10000;
constexpr DWORD kWatchMs = 60000;

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WaitForShot(const std::wstring& folder, const char* name) {
  std::printf("shot %s\n", name);
  std::fflush(stdout);
  std::wstring file = folder + L"\\" + std::wstring(name, name + strlen(name)) + L".png";
  for (DWORD start = GetTickCount(); GetTickCount() - start < kShotWaitMs && !FileExists(file);)
    Sleep(50);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: UpdateRobot PROGRAM_FILE [SHOT_FOLDER]\n");
    return 2;
  }
  const std::wstring shots = argc > 2 ? argv[2] : L"";
  updaterobot::Options options;
  options.programFile = argv[1];
  options.timeoutMs = kWatchMs;
  options.onStage = [&](const updaterobot::Sighting& sighting, HWND) {
    std::printf("seen %s\n", updaterobot::StageName(sighting.stage));
    std::fflush(stdout);
    if (!shots.empty()) WaitForShot(shots, updaterobot::StageName(sighting.stage));
  };
  updaterobot::Report report = updaterobot::AnswerUpdate(options);
  std::printf("pressed Yes: %s\npressed OK: %s\n", report.pressedYes ? "yes" : "no",
              report.pressedOK ? "yes" : "no");
  return report.pressedOK ? 0 : 1;
}
