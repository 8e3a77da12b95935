// Helpers the tests share: processes, files and windows of the Wine prefix.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// A new empty folder under the temporary folder, with a trailing backslash.
std::string MakeTempFolder(const std::string& prefix);
void RemoveTree(const std::string& folder);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExistsW(const std::wstring& path);

// The folder of the running test program, with a trailing backslash.
std::string ExeFolder();

// Top-level windows of a process that are visible now.
std::vector<HWND> VisibleWindowsOf(DWORD processId);

}  // namespace testsupport
