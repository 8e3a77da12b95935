// The desktop link routines against the real shell of the Wine prefix; every
// link written is read back through IShellLinkA.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <thread>

#include "Application.h"
#include "TestSupport.h"
#include "ufrmMain.h"

namespace {

struct LinkTarget {
  std::string path, workingFolder;
};

LinkTarget ReadLink(const std::string& linkFile) {
  com_ptr<IShellLinkA> link;
  com_ptr<IPersistFile> file;
  LinkTarget result;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.put_void())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(ToWide(linkFile).c_str(), STGM_READ)))
    return result;
  char buffer[MAX_PATH + 1] = {};
  link->GetPath(buffer, MAX_PATH, nullptr, 0);
  result.path = buffer;
  buffer[0] = '\0';
  link->GetWorkingDirectory(buffer, MAX_PATH);
  result.workingFolder = buffer;
  return result;
}

std::string SpecialFolder(int id) {
  char path[MAX_PATH + 1] = {};
  SHGetFolderPathA(nullptr, id, nullptr, 0, path);
  return path;
}

class ShellLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application().Initialize();
    root = testsupport::MakeTempFolder("links");
    programFolder = root + "Prog\\";
    linkFolder = root + "Links\\";
    CreateDirectoryA(programFolder.c_str(), nullptr);
    CreateDirectoryA(linkFolder.c_str(), nullptr);
    target = programFolder + "Tool.exe";
    testsupport::WriteFile(target, "MZ");
    testsupport::WriteFile(programFolder + "Tool.setup.exe", "MZ");
  }
  void TearDown() override { testsupport::RemoveTree(root); }

 public:
  std::string root, programFolder, linkFolder, target;
};

struct LinkCase {
  const char* name;
  // Paths with the fixture's folders in angle brackets, replaced by Expand.
  const char* target;
  const char* linkName;
  const char* folder;
  int folderId;
  bool expected;
  const char* expectedFile;  // where the link must be, or nullptr
};

std::string Expand(std::string text, const ShellLinkTest& t) {
  for (auto [key, value] :
       {std::pair<std::string, std::string>{"<links-bare>", ExcludeTrailingBackslash(t.linkFolder)},
        {"<links>", t.linkFolder},
        {"<prog>", t.programFolder},
        {"<docs>", SpecialFolder(CSIDL_PERSONAL) + "\\"},
        {"<desktop>", GetDesktopFolder()}})
    for (size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  return text;
}

class CreateShellLinkCases : public ShellLinkTest,
                             public ::testing::WithParamInterface<LinkCase> {};

TEST_P(CreateShellLinkCases, WritesTheLinkWhereAndOnlyWhenItShould) {
  const LinkCase& c = GetParam();
  std::string targetPath = Expand(c.target, *this);
  bool result = CreateShellLink(targetPath, c.linkName, Expand(c.folder, *this), c.folderId);
  EXPECT_EQ(result, c.expected);
  if (c.expectedFile) {
    std::string linkFile = Expand(c.expectedFile, *this);
    ASSERT_TRUE(FileExists(linkFile)) << linkFile;
    LinkTarget link = ReadLink(linkFile);
    EXPECT_TRUE(SameText(link.path, targetPath)) << link.path;
    EXPECT_TRUE(SameText(link.workingFolder, ExtractFilePath(targetPath))) << link.workingFolder;
    DeleteFileA(linkFile.c_str());
  }
  // Nothing else was written into the links folder.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((linkFolder + "*.lnk").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateShellLinkCases,
    ::testing::Values(
        LinkCase{"MissingTarget", "<prog>Missing.exe", "Name", "<links>", -1, false, nullptr},
        LinkCase{"TargetIsAFolder", "<links>", "Name", "<links>", -1, false, nullptr},
        LinkCase{"EmptyNameTakesTargetName", "<prog>Tool.exe", "", "<links>", -1, true,
                 "<links>Tool.lnk"},
        LinkCase{"EmptyNameDropsLastExtensionOnly", "<prog>Tool.setup.exe", "", "<links>", -1, true,
                 "<links>Tool.setup.lnk"},
        LinkCase{"FolderWithBackslash", "<prog>Tool.exe", "Name", "<links>", -1, true,
                 "<links>Name.lnk"},
        LinkCase{"FolderWithoutBackslash", "<prog>Tool.exe", "Name", "<links-bare>", -1, true,
                 "<links>Name.lnk"},
        LinkCase{"MissingFolderIsNotCreated", "<prog>Tool.exe", "Name", "<links>Sub\\", -1, false,
                 nullptr},
        LinkCase{"SpecialFolderIgnoresFolder", "<prog>Tool.exe", "Name", "Q:\\No\\Such", 5, true,
                 "<docs>Name.lnk"},
        LinkCase{"FolderIdBelowMinusOne", "<prog>Tool.exe", "Name", "", -2, false, nullptr},
        LinkCase{"EmptyFolderMeansDesktop", "<prog>Tool.exe", "Name", "", -1, true,
                 "<desktop>Name.lnk"},
        LinkCase{"NextToItsTargetIsRefused", "<prog>Tool.exe", "Name", "<prog>", -1, false,
                 nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellLinkTest, ProgramOnTheDesktopGetsNoLinkUnlessTheCaseDiffers) {
  std::string desktop = GetDesktopFolder();
  std::string onDesktop = desktop + "DeskTool.exe";
  testsupport::WriteFile(onDesktop, "MZ");
  EXPECT_FALSE(CreateShellLink(onDesktop, "Self", "", -1));
  EXPECT_FALSE(FileExists(desktop + "Self.lnk"));

  // The comparison is byte for byte: another letter case counts as another folder.
  std::string otherCase = UpperCase(desktop) + "DeskTool.exe";
  EXPECT_TRUE(CreateShellLink(otherCase, "Self", "", -1));
  EXPECT_TRUE(FileExists(desktop + "Self.lnk"));
  DeleteFileA((desktop + "Self.lnk").c_str());
  DeleteFileA(onDesktop.c_str());
}

TEST_F(ShellLinkTest, SecondCallOverwritesTheLink) {
  std::string linkFile = linkFolder + "Name.lnk";
  ASSERT_TRUE(CreateShellLink(target, "Name", linkFolder, -1));
  testsupport::WriteFile(linkFile, "not a link any more");
  EXPECT_TRUE(CreateShellLink(target, "Name", linkFolder, -1));
  EXPECT_TRUE(SameText(ReadLink(linkFile).path, target));
}

TEST_F(ShellLinkTest, ComFailureEscapesTheRoutine) {
  // A thread without COM cannot create the shell object: the error is raised.
  std::string message;
  std::thread worker([&] {
    try {
      CreateShellLink(target, "Name", linkFolder, -1);
    } catch (const EOleSysError& e) {
      message = e.what();
    }
  });
  worker.join();
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(FileExists(linkFolder + "Name.lnk"));
}

TEST_F(ShellLinkTest, DesktopFolderAndDeleteFileIfExists) {
  std::string desktop = GetDesktopFolder();
  EXPECT_EQ(desktop, SpecialFolder(CSIDL_DESKTOP) + "\\");

  std::string file = linkFolder + "old.url";
  testsupport::WriteFile(file, "[InternetShortcut]\r\n");
  DeleteFileIfExists(file);
  EXPECT_FALSE(FileExists(file));
  DeleteFileIfExists(file);                                  // missing: nothing happens
  DeleteFileIfExists(ExcludeTrailingBackslash(linkFolder));  // a folder is no file
  EXPECT_TRUE(DirectoryExists(linkFolder));
}

}  // namespace
