#include "SysUtils.h"

#include <algorithm>
#include <cctype>

namespace {

std::string TrimTrailingBreaks(std::string text) {
  while (!text.empty() &&
         (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string HexCode(unsigned long code) {
  char buffer[16];
  wsprintfA(buffer, "0x%08lX", code);
  return buffer;
}

}  // namespace

std::string SysErrorMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (n == 0 || !text) return "System error " + HexCode(code);
  std::string message(text, n);
  LocalFree(text);
  return TrimTrailingBreaks(message);
}

EOSError::EOSError(DWORD code)
    : Exception(SysErrorMessage(code) + " (" + IntToStr(code) + ")"), code_(code) {}

EOleSysError::EOleSysError(HRESULT result)
    : Exception(SysErrorMessage(static_cast<DWORD>(result)) + " (" +
                HexCode(static_cast<unsigned long>(result)) + ")"),
      result_(result) {}

EOSError LastOSError() {
  return EOSError(GetLastError());
}

void OleCheck(HRESULT result) {
  if (FAILED(result)) throw EOleSysError(result);
}

std::wstring ToWide(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(n, L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
  return result;
}

std::string FromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string result(n, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n,
                      nullptr, nullptr);
  return result;
}

std::string IntToStr(long long value) {
  return std::to_string(value);
}

std::string UpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string LowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

bool SameText(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

namespace {
// Position after the last path delimiter, stepping over double-byte characters
// so that a trail byte equal to '\' is not taken for one.
size_t PathSplit(const std::string& path) {
  size_t split = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\' || path[i] == ':') split = i + 1;
  }
  return split;
}
}  // namespace

std::string ExtractFilePath(const std::string& path) {
  return path.substr(0, PathSplit(path));
}

std::string ExtractFileName(const std::string& path) {
  return path.substr(PathSplit(path));
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  size_t split = PathSplit(path);
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < split) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string IncludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && PathSplit(path) == path.size() && path.back() == '\\') return path;
  return path + "\\";
}

std::string ExcludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && PathSplit(path) == path.size() && path.back() == '\\')
    return path.substr(0, path.size() - 1);
  return path;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
