// The settings file and the numeric conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "settings/numeric_value.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

using settings::NumericValue;
using testing_support::TempDir;

constexpr char kDefaults[] = " 1 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";
constexpr uint16_t kEnglish = 0x0409;

TEST(NumericValueTest, LongestNumericPrefix) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"442.5", 442.5}, {" 4 4 3 ", 443}, {"abc", 0},     {"", 0},         {"-", 0},
      {".", 0},         {"1e", 1},        {"1.5e1", 15},  {"-2.5", -2.5},  {"\t7\n", 7},
      {"12abc", 12},    {"+3", 3},        {"3,5", 3},     {" - 4", -4},    {".5", 0.5},
      {"5.", 5},        {"1E+2x", 100},   {"2e-1", 0.2},  {"1 e 2", 100},  {"--1", 0},
      {"0x10", 0},      {"1e+", 1},       {"7\r8", 7},    {"1.2.3", 1.2},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value) << '"' << c.text << '"';
  EXPECT_TRUE(std::isinf(NumericValue("1e400")));
  EXPECT_DOUBLE_EQ(NumericValue("1e-400"), 0.0);
}

TEST(NumericValueTest, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
  struct Case {
    double value;
    std::optional<int16_t> int16;
    std::optional<int32_t> int32;
  } cases[] = {
      {442.5, 442, 442},           {443.5, 444, 444},
      {2.5, 2, 2},                 {-2.5, -2, -2},
      {0.4999, 0, 0},              {32767, 32767, 32767},
      {32767.5, std::nullopt, 32768}, {-32768, -32768, -32768},
      {-32769, std::nullopt, -32769}, {2147483647, std::nullopt, 2147483647},
      {2147483648.0, std::nullopt, std::nullopt}, {INFINITY, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings::RoundToInt16(c.value), c.int16) << c.value;
    EXPECT_EQ(settings::RoundToInt32(c.value), c.int32) << c.value;
  }
}

TEST(NumericValueTest, DisplayAndDecimalForms) {
  EXPECT_EQ(settings::DisplayForm(1), " 1 ");
  EXPECT_EQ(settings::DisplayForm(0), " 0 ");
  EXPECT_EQ(settings::DisplayForm(80), " 80 ");
  EXPECT_EQ(settings::DisplayForm(-5), "-5 ");
  EXPECT_EQ(settings::DecimalForm(80), "80");
  EXPECT_EQ(settings::DecimalForm(-5), "-5");
  EXPECT_EQ(settings::DecimalForm(0), "0");
}

GlobalVariables Parse(const std::string& content, uint16_t lang = kEnglish) {
  GlobalVariables g;
  g.LanguageIndex = g.StartMinimized = g.StartAutomatically = 99;
  g.ServerPort = 99;
  settings::ParseSettings(content, lang, g);
  return g;
}

struct Values {
  int language, minimized, automatic, port;
};
Values Of(const GlobalVariables& g) {
  return {g.LanguageIndex, g.StartMinimized, g.StartAutomatically, g.ServerPort};
}
bool operator==(const Values& a, const Values& b) {
  return a.language == b.language && a.minimized == b.minimized && a.automatic == b.automatic &&
         a.port == b.port;
}
std::ostream& operator<<(std::ostream& os, const Values& v) {
  return os << v.language << "/" << v.minimized << "/" << v.automatic << "/" << v.port;
}

TEST(SettingsParseTest, LinesDefaultsAndOddContent) {
  struct Case {
    const char* content;
    Values expected;
  } cases[] = {
      {"", {1, 0, 0, 80}},
      {kDefaults, {1, 0, 0, 80}},
      {" 2 \r\n 1 \r\n", {2, 1, 0, 80}},
      {"\r\n 1 \r\n", {0, 1, 0, 80}},             // an empty first line is present: 0
      {"1\n0\n0\n80\n", {10080, 0, 0, 80}},        // LF alone does not end a line
      {" 1 \r\n 0 \r\n 1 \r\n 443", {1, 0, 1, 443}},  // no terminator on the last line
      {"1\r0\r1\r81\r", {1, 0, 1, 81}},           // CR alone ends a line
      {"x\r\ny\r\nz\r\nabc\r\n", {0, 0, 0, 0}},
      {"1\r\n0\r\n0\r\n442.5\r\n", {1, 0, 0, 442}},
      {"1\r\n0\r\n0\r\n443.5\r\n", {1, 0, 0, 444}},
      {"1\r\n0\r\n0\r\n 4 4 3 \r\n", {1, 0, 0, 443}},
      {"40000\r\n-40000\r\n1e9\r\n1e10\r\n", {1, 0, 0, 80}},  // no fit: defaults
      {"7\r\n5\r\n-1\r\n-8080\r\n", {7, 5, -1, -8080}},
      {"2\r\n1\r\n1\r\n81\r\n\r\n\r\n\r\n\r\n\r\n\r\n9\r\n9\r\n", {2, 1, 1, 81}},
  };
  for (const auto& c : cases) EXPECT_EQ(Of(Parse(c.content)), c.expected) << c.content;
}

TEST(SettingsParseTest, OnlyTheFiveGermanIdentifiersDefaultToGerman) {
  for (uint16_t id : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407})
    EXPECT_EQ(Parse("", id).LanguageIndex, 2) << std::hex << id;
  for (uint16_t id : {0x0409, 0x0808, 0x0007, 0x1807, 0x0000, 0x040C})
    EXPECT_EQ(Parse("", id).LanguageIndex, 1) << std::hex << id;
  EXPECT_EQ(Parse(" 1 \r\n", 0x0407).LanguageIndex, 1) << "the file wins over the system";
  EXPECT_EQ(Parse("99999\r\n", 0x0407).LanguageIndex, 2) << "no fit keeps the system default";
}

TEST(SettingsParseTest, SerialisesTheTenLines) {
  GlobalVariables g;
  g.LanguageIndex = 1;
  EXPECT_EQ(settings::SerializeSettings(g), kDefaults);
  g.LanguageIndex = 2;
  g.StartMinimized = 1;
  g.ServerPort = -5;
  EXPECT_EQ(settings::SerializeSettings(g), " 2 \r\n 1 \r\n 0 \r\n-5 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST(SettingsFileTest, FirstStartCreatesAnEmptyFileAndSaveWritesTheDefaultsByteForByte) {
  TempDir dir;
  settings::SettingsFile file(dir.Str());
  GlobalVariables g;
  file.Load(g, kEnglish);
  ASSERT_TRUE(std::filesystem::exists(dir / "Dravelo_WEB_MONITOR.CFG"));
  EXPECT_EQ(std::filesystem::file_size(dir / "Dravelo_WEB_MONITOR.CFG"), 0u);
  EXPECT_EQ(Of(g), (Values{1, 0, 0, 80}));
  std::string error;
  ASSERT_TRUE(file.Save(g, &error)) << error;
  EXPECT_EQ(dir.Read("Dravelo_WEB_MONITOR.CFG"), kDefaults);

  GlobalVariables german;
  settings::SettingsFile(TempDir().Str()).Load(german, 0x0407);
  EXPECT_EQ(german.LanguageIndex, 2);
}

TEST(SettingsFileTest, RoundTripsWhatItWrites) {
  TempDir dir;
  settings::SettingsFile file(dir.Str());
  for (Values v : {Values{0, 1, 1, 65535}, Values{2, 0, 1, -1}, Values{1, 1, 0, 2147483647}}) {
    GlobalVariables g;
    g.LanguageIndex = static_cast<int16_t>(v.language);
    g.StartMinimized = static_cast<int16_t>(v.minimized);
    g.StartAutomatically = static_cast<int16_t>(v.automatic);
    g.ServerPort = v.port;
    ASSERT_TRUE(file.Save(g));
    GlobalVariables back;
    file.Load(back, 0x0407);
    EXPECT_EQ(Of(back), v);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "Dravelo_WEB_MONITOR.CFG.tmp"));
}

TEST(SettingsFileTest, AFailedSaveKeepsTheOldFile) {
  TempDir dir;
  // The settings path is a folder: nothing can replace it, and loading leaves the defaults.
  std::filesystem::create_directory(dir / "Dravelo_WEB_MONITOR.CFG");
  settings::SettingsFile file(dir.Str());
  GlobalVariables g;
  file.Load(g, kEnglish);
  EXPECT_EQ(Of(g), (Values{1, 0, 0, 80}));
  std::string error;
  EXPECT_FALSE(file.Save(g, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Dravelo_WEB_MONITOR.CFG"));
  EXPECT_FALSE(std::filesystem::exists(dir / "Dravelo_WEB_MONITOR.CFG.tmp"));
}

TEST(SettingsFileTest, ASaveIntoAReadOnlyFolderKeepsTheOldFile) {
  GlobalVariables g;
  std::string error;
  TempDir locked;
  locked.Write("Dravelo_WEB_MONITOR.CFG", " 2 \r\n");
  std::filesystem::permissions(locked.Path(), std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_exec);
  const bool enforced = !std::ofstream(locked / "probe").is_open();
  if (enforced) {
    settings::SettingsFile old(locked.Str());
    EXPECT_FALSE(old.Save(g, &error));
    EXPECT_EQ(locked.Read("Dravelo_WEB_MONITOR.CFG"), " 2 \r\n");
  }
  std::filesystem::permissions(locked.Path(), std::filesystem::perms::owner_all);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced for this user";
}

}  // namespace
