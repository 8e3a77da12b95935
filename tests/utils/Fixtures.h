// Small fixtures of the utilities' tests: a temporary folder and registry keys
// that are removed again when the test ends.
#pragma once

#include <windows.h>

#include <string>

#include "TestSupport.h"

// A fresh folder below the temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() : path_(testsupport::MakeTempFolder("nxutils")) {}
  ~TempFolder() { testsupport::RemoveTree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // With one trailing backslash.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Writes HKEY root\path with a default string value (when given); deleted
// again with the whole tree by the owner.
class RegistryFixture {
 public:
  RegistryFixture(HKEY root, std::string path) : root_(root), path_(std::move(path)) {}
  ~RegistryFixture() { RegDeleteTreeA(root_, path_.c_str()); }
  RegistryFixture(const RegistryFixture&) = delete;
  RegistryFixture& operator=(const RegistryFixture&) = delete;

  // Sets a value below the fixture's key (sub may be empty); an empty name
  // is the default value.
  void SetString(const std::string& sub, const std::string& name, const std::string& value);
  void SetDword(const std::string& sub, const std::string& name, DWORD value);
  void SetBinary(const std::string& sub, const std::string& name, const std::string& bytes);
  void CreateKey(const std::string& sub);

 private:
  HKEY Create(const std::string& sub);
  HKEY root_;
  std::string path_;
};

// One registry value that a test changes; its earlier state (or absence) is
// put back afterwards.
class SavedRegistryValue {
 public:
  SavedRegistryValue(HKEY root, std::string path, std::string name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

  void Set(DWORD type, const std::string& bytes);
  void SetString(const std::string& value) { Set(REG_SZ, value + '\0'); }
  void Remove();

 private:
  HKEY root_;
  std::string path_;
  std::string name_;
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::string bytes_;
};

// An environment variable of this process set for one test and put back.
class SavedEnvironment {
 public:
  SavedEnvironment(std::string name, const std::string& value);
  ~SavedEnvironment();
  SavedEnvironment(const SavedEnvironment&) = delete;
  SavedEnvironment& operator=(const SavedEnvironment&) = delete;

 private:
  std::string name_;
  bool existed_ = false;
  std::string value_;
};
