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

SavedRegistryValue::SavedRegistryValue(HKEY root, std::string path, std::string name)
    : root_(root), path_(std::move(path)), name_(std::move(name)) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD size = 0;
  const char* name_c = name_.empty() ? nullptr : name_.c_str();
  if (RegQueryValueExA(key, name_c, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
    bytes_.resize(size);
    RegQueryValueExA(key, name_c, nullptr, &type_, reinterpret_cast<BYTE*>(bytes_.data()), &size);
    bytes_.resize(size);
    existed_ = true;
  }
  RegCloseKey(key);
}

SavedRegistryValue::~SavedRegistryValue() {
  if (existed_)
    Set(type_, bytes_);
  else
    Remove();
}

void SavedRegistryValue::Set(DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot open registry key " + path_);
  RegSetValueExA(key, name_.empty() ? nullptr : name_.c_str(), 0, type,
                 reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

void SavedRegistryValue::Remove() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name_.empty() ? nullptr : name_.c_str());
  RegCloseKey(key);
}

SavedEnvironment::SavedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
  char buffer[32768];
  const DWORD length = GetEnvironmentVariableA(name_.c_str(), buffer, sizeof(buffer));
  existed_ = length > 0 && length < sizeof(buffer);
  if (existed_) value_.assign(buffer, length);
  SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

SavedEnvironment::~SavedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), existed_ ? value_.c_str() : nullptr);
}
