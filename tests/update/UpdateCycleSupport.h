// What the whole-cycle update tests share: a program folder of Deskpin
// 1.0.0.1 in the prefix, the update host's site and access log, and the
// processes of a cycle watched from outside.
//
// DESKPIN_CYCLE_FOLDER names the program folder under Program Files (UTF-8),
// DESKPIN_HOST_STATE is the update host's state folder.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "SysUtils.h"

namespace updatecycle {

std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8);
std::string Narrow(const std::wstring& text);
std::string Env(const char* name);
// A Unix path as the prefix sees it (drive Z:).
std::wstring FromUnix(std::string path);
std::string ReadAll(const std::wstring& path);
bool WriteAll(const std::wstring& path, const std::string& bytes);
std::vector<std::wstring> FilesIn(const std::wstring& folder, const wchar_t* pattern);

// A process of the cycle that the test did not start itself: found by its
// program file, watched through a handle, ended only if it overstays.
struct Watched {
  DWORD id = 0;
  unique_handle process;
  std::wstring commandLine;
};

// Waits (at most timeoutMs; 0: looks once) for a process running image,
// other than those in skipIds.
Watched FindProcess(const std::wstring& image, const std::vector<DWORD>& skipIds, DWORD timeoutMs);

// True when the process ended by itself within timeoutMs; otherwise it is
// ended here, so that nothing of the test outlives it.
bool EndsByItself(HANDLE process, DWORD timeoutMs);

// The requests of nginx's access log that name a file of the update, as
// "NAME STATUS".
std::vector<std::string> UpdateRequests(const std::string& log);

std::wstring LinkTarget(const std::wstring& link);

// A Deskpin started by the test.
struct Started {
  DWORD id = 0;
  unique_handle process;
};

class UpdateCycle : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program of the folder as the desktop link does.
  Started StartProgram();

  std::wstring programFolder_, program_, helpFile_, notesFolder_, tempFolder_, link_, site_,
      accessLog_, browserLog_;
  std::string oldProgram_, newProgram_;
  size_t logStart_ = 0;
};

}  // namespace updatecycle
