// Basic building blocks shared by the whole program: exceptions with the
// system's message, ANSI/UTF-16 conversions, owners for Windows handles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Strings of the program are single-byte strings in the system's ANSI code page.
using AnsiString = std::string;
using TBytes = std::vector<std::uint8_t>;

class TObject {
 public:
  virtual ~TObject() = default;
};

// The program's exception: a message, nothing more.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A failed Windows call, carrying the system's text for its error code.
class EOSError : public Exception {
 public:
  explicit EOSError(DWORD code);
  DWORD ErrorCode() const { return code_; }

 private:
  DWORD code_;
};

// A failed COM call, carrying the system's text for its result code.
class EOleSysError : public Exception {
 public:
  explicit EOleSysError(HRESULT result);
  HRESULT ErrorCode() const { return result_; }

 private:
  HRESULT result_;
};

// An object did not offer an interface that was asked of it.
class EIntfCastError : public Exception {
 public:
  EIntfCastError() : Exception("Interface not supported") {}
};

// Raised while reading a form text that does not fit its classes.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// The system's message text for a Win32 error code or HRESULT, without the
// trailing line break.
std::string SysErrorMessage(DWORD code);
// The error for GetLastError(), to throw: `throw LastOSError();`. Errors are
// thrown where they arise: a [[noreturn]] helper that throws, called last in a
// function, leaves a return address the i686 unwinder cannot place.
EOSError LastOSError();
// Raises EOleSysError when result is a failure code.
void OleCheck(HRESULT result);

std::wstring ToWide(const std::string& text, UINT codePage = CP_ACP);
std::string FromWide(const std::wstring& text, UINT codePage = CP_ACP);
inline std::string Utf8ToAnsi(const std::string& utf8) {
  return FromWide(ToWide(utf8, CP_UTF8));
}
inline std::string AnsiToUtf8(const std::string& ansi) {
  return FromWide(ToWide(ansi), CP_UTF8);
}

// Owns one Windows handle and closes it with Close. A null handle (and, for
// kernel handles, INVALID_HANDLE_VALUE) counts as empty.
template <typename T, auto Close>
class unique_any {
 public:
  unique_any() = default;
  explicit unique_any(T h) : h_(h) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : h_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  T get() const { return h_; }
  explicit operator bool() const { return valid(h_); }
  T release() { return std::exchange(h_, T{}); }
  void reset(T h = T{}) {
    T old = std::exchange(h_, h);
    if (valid(old)) Close(old);
  }
  T* put() {
    reset();
    return &h_;
  }

 private:
  static bool valid(T h) {
    if constexpr (std::is_same_v<T, HANDLE>) return h != nullptr && h != INVALID_HANDLE_VALUE;
    return h != T{};
  }
  T h_{};
};

using unique_handle = unique_any<HANDLE, &::CloseHandle>;
using unique_hmodule = unique_any<HMODULE, &::FreeLibrary>;
using unique_hgdiobj = unique_any<HGDIOBJ, &::DeleteObject>;
using unique_hfont = unique_any<HFONT, &::DeleteObject>;
using unique_hicon = unique_any<HICON, &::DestroyIcon>;
using unique_hbitmap = unique_any<HBITMAP, &::DeleteObject>;

// Runs a function when the scope ends, whichever way it ends.
template <typename F>
class scope_exit {
 public:
  explicit scope_exit(F f) : f_(std::move(f)) {}
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;
  ~scope_exit() {
    if (armed_) f_();
  }
  void release() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

// Releases a COM interface pointer on scope end.
template <typename I>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  ~com_ptr() { reset(); }
  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  I** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  I* p_ = nullptr;
};

// Integer and string helpers in the manner of the program's framework.
std::string IntToStr(long long value);
std::string UpperCase(const std::string& text);  // ASCII letters only
std::string LowerCase(const std::string& text);  // ASCII letters only
bool SameText(const std::string& a, const std::string& b);
std::string Trim(const std::string& text);
std::string ExtractFilePath(const std::string& path);  // up to and with the last '\' or ':'
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // with the dot
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingBackslash(const std::string& path);
std::string ExcludeTrailingBackslash(const std::string& path);
bool FileExists(const std::string& path);       // a file, not a folder
bool DirectoryExists(const std::string& path);  // a folder
