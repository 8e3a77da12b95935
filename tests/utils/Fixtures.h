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
