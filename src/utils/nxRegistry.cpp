// The few registry reads of the utilities.
#include "nxUtils.h"

namespace {

constexpr DWORD kStringBufferSize = 1024;

using unique_hkey = unique_any<HKEY, &::RegCloseKey>;

}  // namespace

bool OpenRegKey(HKEY& key, const AnsiString& subKey, bool canCreate, REGSAM access) {
  const AnsiString path = StripLeadingChar(subKey, '\\');
  HKEY opened = nullptr;
  const LONG status = canCreate ? RegCreateKeyExA(key, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                  nullptr, &opened, nullptr)
                                : RegOpenKeyExA(key, path.c_str(), 0, access, &opened);
  if (status != ERROR_SUCCESS) return false;
  key = opened;
  return true;
}

bool ReadRegValue(HKEY key, const AnsiString& valueName, DWORD& valueType, DWORD& bufferSize,
                  void* buffer) {
  const LONG status = RegQueryValueExA(key, valueName.c_str(), nullptr, &valueType,
                                       static_cast<BYTE*>(buffer), &bufferSize);
  return status == ERROR_SUCCESS && !(valueType == REG_SZ && bufferSize == 0);
}

bool ReadRegString(HKEY root, const AnsiString& keyPath, const AnsiString& valueName,
                   AnsiString& value) {
  value.clear();
  HKEY key = root;
  if (!OpenRegKey(key, keyPath, false, KEY_READ)) return false;
  unique_hkey owner(key);
  std::vector<char> buffer(kStringBufferSize);
  DWORD type = REG_SZ;
  DWORD size = kStringBufferSize;
  if (ReadRegValue(key, valueName, type, size, buffer.data())) {
    // The data need not end in a NUL; never read past what was returned.
    const std::size_t limit = std::min<std::size_t>(size, buffer.size());
    value.assign(buffer.data(), strnlen(buffer.data(), limit));
  }
  return true;
}
