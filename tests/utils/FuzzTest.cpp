// Arbitrary bytes into the text routines: a fixed seed, a few thousand inputs
// each; every call must come back, and what it returns must keep its shape.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "nxUtils.h"

namespace {

constexpr unsigned kSeed = 20150212;
constexpr int kInputs = 4000;
constexpr std::size_t kMaxLength = 80;

// Fragments that steer random texts towards the interesting paths.
const char* const kFragments[] = {
    " ",          "-",         ":",      "/",         ".",          "=",      "{",
    "}",          "\"",        "\r\n",   "\t",        "\\",         ",",      "%",
    "Sun",        "Nov",       "06",     "1994",      "08:49:37",   "+0800",  "-0500",
    "GMT",        "#url",      "#url1=", "#version=", "#message={", "#date=", "1.0.0.1",
    "02/12/2015", "%windows%", "%TEMP%", "%current%", " -",         " /",     " %1",
    "rundll32",   ".dll",      "x.exe",  "C:\\",
};

class RandomText {
 public:
  AnsiString Next() {
    std::uniform_int_distribution<std::size_t> length(0, kMaxLength);
    std::uniform_int_distribution<int> kind(0, 2);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> fragment(0, std::size(kFragments) - 1);
    AnsiString text;
    const std::size_t target = length(engine_);
    while (text.size() < target) {
      if (kind(engine_) == 0)
        text += static_cast<char>(byte(engine_));
      else
        text += kFragments[fragment(engine_)];
    }
    return text;
  }

 private:
  std::mt19937 engine_{kSeed};
};

bool HasBlankEnds(const AnsiString& s) {
  return !s.empty() && (static_cast<unsigned char>(s.front()) <= ' ' ||
                        static_cast<unsigned char>(s.back()) <= ' ');
}

TEST(RandomInput, InternetDatesAlwaysGiveAFiniteTime) {
  RandomText random;
  for (int i = 0; i < kInputs; ++i) {
    const AnsiString text = random.Next();
    const TDateTime value = InternetDateToLocalTime(text);
    ASSERT_TRUE(std::isfinite(value)) << text;
    // Years 1 to 9999, shifted by at most a day of zone and bias.
    ASSERT_GT(value, -693595.0) << text;
    ASSERT_LT(value, 2958467.0) << text;
  }
}

TEST(RandomInput, InfoKeysStopAtTheirTerminators) {
  RandomText random;
  for (int i = 0; i < kInputs; ++i) {
    const AnsiString text = random.Next();
    const AnsiString plain = ReadInfoKey(text, "#url", false);
    for (char c : plain) ASSERT_GE(static_cast<unsigned char>(c), ' ') << text;
    ASSERT_EQ(ReadInfoKey(text, "#message", true).find('}'), AnsiString::npos) << text;
    TnxStringList files;
    ReadFileEntries(text, files);
    for (const auto& entry : files.Items()) ASSERT_FALSE(entry.empty()) << text;
  }
}

TEST(RandomInput, VersionComparisonIsAnOrder) {
  RandomText random;
  for (int i = 0; i < kInputs; ++i) {
    const AnsiString a = random.Next();
    const AnsiString b = random.Next();
    const int ab = CompareVersions(a, b);
    ASSERT_TRUE(ab == -1 || ab == 0 || ab == 1) << a << " | " << b;
    ASSERT_EQ(CompareVersions(b, a), -ab) << a << " | " << b;
    ASSERT_EQ(CompareVersions(a, a), 0) << a;
    ASSERT_EQ(SplitVersion(a).size(), 4u);
  }
}

TEST(RandomInput, CommandLinesComeBackTrimmed) {
  RandomText random;
  for (int i = 0; i < kInputs; ++i) {
    const AnsiString original = random.Next();
    AnsiString line = original;
    AnsiString params;
    SplitCommandLine(line, params);
    ASSERT_FALSE(HasBlankEnds(line)) << original;
    ASSERT_FALSE(HasBlankEnds(params)) << original;
    ASSERT_LE(line.size() + params.size(), original.size()) << original;
  }
}

TEST(RandomInput, FolderMacrosExpandWithoutLeftovers) {
  RandomText random;
  for (int i = 0; i < kInputs; ++i) {
    const AnsiString path = random.Next();
    const AnsiString expanded = ExpandFolderMacros(path, false);
    if (path.find('%') == AnsiString::npos) {
      ASSERT_EQ(expanded, path);
    }
    const bool relative = expanded.size() >= 3 && expanded[1] != ':';
    ASSERT_EQ(ExpandFolderMacros(path, true), relative ? CurrentFolder() + expanded : expanded)
        << path;
  }
}

}  // namespace
