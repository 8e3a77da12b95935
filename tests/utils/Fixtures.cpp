#include "Fixtures.h"

#include <stdexcept>

HKEY RegistryFixture::Create(const std::string& sub) {
  const std::string full = sub.empty() ? path_ : path_ + "\\" + sub;
  HKEY key = nullptr;
  if (RegCreateKeyExA(root_, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    throw std::runtime_error("cannot create registry key " + full);
  return key;
}

void RegistryFixture::CreateKey(const std::string& sub) {
  RegCloseKey(Create(sub));
}

void RegistryFixture::SetString(const std::string& sub, const std::string& name,
                                const std::string& value) {
  HKEY key = Create(sub);
  RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void RegistryFixture::SetDword(const std::string& sub, const std::string& name, DWORD value) {
  HKEY key = Create(sub);
  RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
}

void RegistryFixture::SetBinary(const std::string& sub, const std::string& name,
                                const std::string& bytes) {
  HKEY key = Create(sub);
  RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}
