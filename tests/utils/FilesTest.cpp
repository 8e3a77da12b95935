// File helpers on real files of the Wine prefix, and the pure arithmetic
// beside them.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include "Fixtures.h"
#include "nxUtils.h"

namespace {

struct PercentCase {
  long double total;
  long double done;
  int expected;
};

class Percent : public testing::TestWithParam<PercentCase> {};

TEST_P(Percent, RoundsHalvesToEvenAndKeepsTheLowByte) {
  const PercentCase& c = GetParam();
  EXPECT_EQ(PercentOf(c.total, c.done), c.expected)
      << static_cast<double>(c.done) << " of " << static_cast<double>(c.total);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Percent,
    testing::Values(PercentCase{8, 1, 12}, PercentCase{8, 3, 38}, PercentCase{8, 5, 62},
                    PercentCase{0, 5, 0}, PercentCase{0, 0, 0}, PercentCase{100, 300, 44},
                    PercentCase{100, 100, 100}, PercentCase{3, 1, 33}, PercentCase{3, 2, 67},
                    PercentCase{200, 1, 0}, PercentCase{200, 3, 2}, PercentCase{100, 256, 0},
                    PercentCase{100, -50, 206}, PercentCase{5e9L, 4.99e9L, 100},
                    PercentCase{1e-30L, 1e30L, 0}));

struct AttributeCase {
  std::vector<TnxFileAttribute> members;
  DWORD word;
};

class Attributes : public testing::TestWithParam<AttributeCase> {};

TEST_P(Attributes, MapToTheWindowsWord) {
  TnxFileAttributes set;
  for (auto m : GetParam().members) set.Include(m);
  EXPECT_EQ(FileAttributesToWord(set), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(Sets, Attributes,
                         testing::Values(AttributeCase{{}, 0}, AttributeCase{{atrArchive}, 0x20},
                                         AttributeCase{{atrHidden}, 0x2},
                                         AttributeCase{{atrReadOnly}, 0x1},
                                         AttributeCase{{atrSystem}, 0x4},
                                         AttributeCase{{atrTemporary}, 0x100},
                                         AttributeCase{{atrOffline}, 0x1000},
                                         AttributeCase{{atrReadOnly, atrHidden}, 0x3},
                                         AttributeCase{{atrArchive, atrHidden, atrReadOnly,
                                                        atrSystem, atrTemporary, atrOffline},
                                                       0x1127}));

TEST(Attributes, SetIsOneBytePerMemberInOrder) {
  EXPECT_EQ(sizeof(TnxFileAttributes), 1u);
  EXPECT_EQ((TnxFileAttributes{atrArchive}).ToByte(), 0x01);
  EXPECT_EQ((TnxFileAttributes{atrReadOnly, atrOffline}).ToByte(), 0x24);
  EXPECT_EQ(FileAttributesToWord(TnxFileAttributes::FromByte(0x3F)), 0x1127u);
}

TEST(SizedRecord, IsZeroedWithItsSizeInFront) {
  OSVERSIONINFOA version;
  std::memset(&version, 0xAB, sizeof(version));
  InitSizedRecord(version, sizeof(version));
  EXPECT_EQ(version.dwOSVersionInfoSize, sizeof(version));
  EXPECT_EQ(version.dwMajorVersion, 0u);
  EXPECT_EQ(version.szCSDVersion[127], 0);
}

TEST(WindowsVersion, VistaOrLaterFollowsTheReportedMajorVersion) {
  // Wine reports the version its prefix is set to; recent prefixes say 10.
  const DWORD major = LOBYTE(LOWORD(GetVersion()));
  EXPECT_EQ(IsVistaOrLater(), major >= 6);
}

class FileHelpers : public testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.Path() + "file.bin";
    testsupport::WriteFile(path_, "content");
  }

  static SYSTEMTIME LocalTimes(const AnsiString& path, FILETIME* creation, FILETIME* write) {
    unique_handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME c = {}, a = {}, w = {};
    GetFileTime(file.get(), &c, &a, &w);
    if (creation) *creation = c;
    if (write) *write = w;
    FILETIME local;
    FileTimeToLocalFileTime(&w, &local);
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&local, &st);
    return st;
  }

  static TDateTime At(int y, int mo, int d, int h, int mi, int s) {
    TDateTime date = 0, time = 0;
    TryEncodeDate(y, mo, d, date);
    TryEncodeTime(h, mi, s, 0, time);
    return date + time;
  }

  TempFolder folder_;
  AnsiString path_;
};

TEST_F(FileHelpers, SetFileTimesWritesLocalTimeInDosResolution) {
  ASSERT_TRUE(
      SetFileTimes(path_, kKeepFileTime, At(2015, 2, 12, 10, 11, 37), At(2015, 2, 12, 10, 11, 37)));
  const SYSTEMTIME st = LocalTimes(path_, nullptr, nullptr);
  EXPECT_EQ(st.wYear, 2015);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 12);
  EXPECT_EQ(st.wHour, 10);
  EXPECT_EQ(st.wMinute, 11);
  EXPECT_EQ(st.wSecond, 36);  // two-second steps
}

TEST_F(FileHelpers, SetFileTimesKeepsTimesOutsideTheDosRange) {
  ASSERT_TRUE(SetFileTimes(path_, kKeepFileTime, At(2001, 5, 6, 7, 8, 10), kKeepFileTime));
  FILETIME before;
  LocalTimes(path_, nullptr, &before);
  for (TDateTime outside : {At(1979, 12, 31, 23, 59, 58), At(2108, 1, 1, 0, 0, 0), -5.0, 1e12}) {
    EXPECT_TRUE(SetFileTimes(path_, kKeepFileTime, outside, kKeepFileTime));
    FILETIME after;
    LocalTimes(path_, nullptr, &after);
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << outside;
  }
  // The edges of the range are still written.
  EXPECT_TRUE(SetFileTimes(path_, kKeepFileTime, At(1980, 1, 1, 0, 0, 0), kKeepFileTime));
  EXPECT_EQ(LocalTimes(path_, nullptr, nullptr).wYear, 1980);
  EXPECT_TRUE(SetFileTimes(path_, kKeepFileTime, At(2107, 12, 31, 23, 59, 58), kKeepFileTime));
  EXPECT_EQ(LocalTimes(path_, nullptr, nullptr).wYear, 2107);
}

TEST_F(FileHelpers, SetFileTimesFailsOnAMissingFile) {
  EXPECT_FALSE(SetFileTimes(folder_.Path() + "missing.bin", kKeepFileTime, At(2015, 2, 12, 0, 0, 0),
                            At(2015, 2, 12, 0, 0, 0)));
}

TEST_F(FileHelpers, GetFileSize64OfMissingEmptyAndSmallFiles) {
  EXPECT_EQ(GetFileSize64(folder_.Path() + "missing.bin"), -1);
  EXPECT_EQ(GetFileSize64(folder_.Path()), -1);  // a folder is no file
  EXPECT_EQ(GetFileSize64(path_), 7);
  const AnsiString empty = folder_.Path() + "empty.bin";
  testsupport::WriteFile(empty, "");
  EXPECT_EQ(GetFileSize64(empty), 0);
}

TEST_F(FileHelpers, GetFileSize64AboveFourGigabytes) {
  constexpr std::int64_t kSize = (5LL << 30) + 123;
  const AnsiString big = folder_.Path() + "big.bin";
  {
    unique_handle file(CreateFileA(big.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD returned = 0;
    // Sparse, so that no disk space is used; where that is not offered the
    // file system leaves the extended range unallocated anyway.
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = kSize;
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  EXPECT_EQ(GetFileSize64(big), kSize);
  // Open by someone else for writing: the size can still be read.
  unique_handle writer(CreateFileA(big.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(GetFileSize64(big), kSize);
}

TEST_F(FileHelpers, SetFileAttributesFromSetAppliesTheSet) {
  const DWORD kChecked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesFromSet(path_, {atrReadOnly, atrHidden}));
  EXPECT_EQ(GetFileAttributesA(path_.c_str()) & kChecked,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesFromSet(path_, {}));
  EXPECT_EQ(GetFileAttributesA(path_.c_str()) & kChecked, 0u);
  EXPECT_FALSE(SetFileAttributesFromSet(folder_.Path() + "missing.bin", {atrArchive}));
}

}  // namespace
