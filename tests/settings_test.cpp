// The settings file and the numeric conversion.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "platform/process.h"
#include "settings/numeric_value.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using settings::NumericValue;
using testing_support::TempDir;

constexpr char kCfg[] = "Dravelo_WEB_MONITOR.CFG";
constexpr char kDefaults[] = " 1 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";
constexpr uint16_t kEnglish = 0x0409;

TEST(NumericValueTest, LongestNumericPrefix) {
  const std::string zeros(400, '0');
  struct Case {
    std::string text;
    double value;
  } cases[] = {
      {"442.5", 442.5},
      {" 4 4 3 ", 443},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {".", 0},
      {"-.", 0},
      {"1e", 1},
      {"1e+", 1},
      {"1eX", 1},
      {"1.5e1", 15},
      {"-2.5", -2.5},
      {"\t7\n", 7},
      {"12abc", 12},
      {"+3", 3},
      {"3,5", 3},
      {" - 4", -4},
      {".5", 0.5},
      {"5.", 5},
      {"1E+2x", 100},
      {"2e-1", 0.2},
      {"1 e - 2", 0.01},
      {"\n1\t2 . 5\n", 12.5},
      {"--1", 0},
      {"+-1", 0},
      {"0x10", 0},
      {"7\r8", 7},  // a CR is no blank
      {"1.2.3", 1.2},
      {"1e2e3", 100},
      {"00042", 42},
      {"1e0002", 100},
      {"0e999999", 0},
      {"1e-400", 0},
      {"0." + zeros + "1", 0},
      {"1" + zeros + "e-400", 1},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value) << '"' << c.text << '"';

  // Beyond any double: infinite, with the sign.
  for (const std::string& text :
       {std::string("1e400"), "1" + zeros, std::string("0.001e999999999999999999")})
    EXPECT_EQ(NumericValue(text), std::numeric_limits<double>::infinity()) << text;
  EXPECT_EQ(NumericValue("-1e400"), -std::numeric_limits<double>::infinity());
}

TEST(NumericValueTest, ThePointIsADotInAnyLocale) {
  const char* before = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = before ? before : "C";
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "German", "deu"}) {
    if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
      comma = true;
      break;
    }
  }
  const double dot = NumericValue("3.5");
  const double decimal_comma = NumericValue("3,5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(comma) << "no locale with a decimal comma; scripts/setup makes de_DE.UTF-8";
  EXPECT_DOUBLE_EQ(dot, 3.5);
  EXPECT_DOUBLE_EQ(decimal_comma, 3);
}

// The whole conversion of a settings line or port text, rounding included.
TEST(NumericValueTest, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
  constexpr std::nullopt_t no = std::nullopt;
  struct Case {
    const char* text;
    std::optional<int16_t> int16;
    std::optional<int32_t> int32;
  } cases[] = {
      {"442.5", 442, 442},
      {"443.5", 444, 444},
      {"2.5", 2, 2},
      {"3.5", 4, 4},
      {"-2.5", -2, -2},
      {"-3.5", -4, -4},
      {"0.5", 0, 0},
      {"-0.4", 0, 0},
      {"0.4999", 0, 0},
      {"2.5000001", 3, 3},
      {"abc", 0, 0},
      {"32767", 32767, 32767},
      {"32767.4", 32767, 32767},
      {"32767.5", no, 32768},
      {"32768", no, 32768},
      {"-32768", -32768, -32768},
      {"-32768.5", -32768, -32768},
      {"-32769", no, -32769},
      {"2147483647", no, 2147483647},
      {"2147483647.5", no, no},
      {"2147483648", no, no},
      {"-2147483648", no, std::numeric_limits<int32_t>::min()},
      {"-2147483649", no, no},
      {"1e400", no, no},
      {"-1e400", no, no},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings::RoundToInt16(NumericValue(c.text)), c.int16) << c.text;
    EXPECT_EQ(settings::RoundToInt32(NumericValue(c.text)), c.int32) << c.text;
  }
  EXPECT_EQ(settings::RoundToInt32(std::nan("")), no);
}

TEST(NumericValueTest, DisplayAndDecimalForms) {
  struct Case {
    int64_t value;
    const char* display;
    const char* decimal;
  } cases[] = {
      {1, " 1 ", "1"},
      {0, " 0 ", "0"},
      {80, " 80 ", "80"},
      {-5, "-5 ", "-5"},
      {10080, " 10080 ", "10080"},
      {2147483647, " 2147483647 ", "2147483647"},
      {-2147483648LL, "-2147483648 ", "-2147483648"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(settings::DisplayForm(c.value), c.display);
    EXPECT_EQ(settings::DecimalForm(c.value), c.decimal);
  }
}

struct Values {
  int language, minimised, automatic, port;
};
Values Of(const GlobalVariables& g) {
  return {g.LanguageIndex, g.StartMinimized, g.StartAutomatically, g.ServerPort};
}
bool operator==(const Values& a, const Values& b) {
  return a.language == b.language && a.minimised == b.minimised && a.automatic == b.automatic &&
         a.port == b.port;
}
std::ostream& operator<<(std::ostream& os, const Values& v) {
  return os << v.language << "/" << v.minimised << "/" << v.automatic << "/" << v.port;
}

GlobalVariables With(Values v) {
  GlobalVariables g;
  g.LanguageIndex = static_cast<int16_t>(v.language);
  g.StartMinimized = static_cast<int16_t>(v.minimised);
  g.StartAutomatically = static_cast<int16_t>(v.automatic);
  g.ServerPort = v.port;
  return g;
}

// Starts from values that are no default, so that a field left alone shows.
Values Parse(const std::string& content, uint16_t lang = kEnglish) {
  GlobalVariables g = With({99, 99, 99, 99});
  settings::ParseSettings(content, lang, g);
  return Of(g);
}

TEST(SettingsParseTest, LinesDefaultsAndOddContent) {
  struct Case {
    const char* content;
    Values expected;
  } cases[] = {
      {"", {1, 0, 0, 80}},
      {kDefaults, {1, 0, 0, 80}},
      {" 2 \r\n 1 \r\n", {2, 1, 0, 80}},
      {" 2 \r\n 1 ", {2, 1, 0, 80}},
      {"\r\n 1 \r\n", {0, 1, 0, 80}},  // an empty first line is present: 0
      {"\r\n", {0, 0, 0, 80}},
      {"1\n0\n0\n80\n", {10080, 0, 0, 80}},           // LF alone does not end a line
      {" 1 \r\n 0 \r\n 1 \r\n 443", {1, 0, 1, 443}},  // no terminator on the last line
      {"1\r0\r1\r81\r", {1, 0, 1, 81}},               // CR alone ends a line
      {"1\r\n\n0\r\n", {1, 0, 0, 80}},                // only one LF goes with the CR
      {"2\r\n1\r\n1\r\n", {2, 1, 1, 80}},             // no port line: the default
      {"x\r\ny\r\nz\r\nabc\r\n", {0, 0, 0, 0}},
      {"1\r\n0\r\n0\r\n442.5\r\n", {1, 0, 0, 442}},
      {"1\r\n0\r\n0\r\n443.5\r\n", {1, 0, 0, 444}},
      {"1\r\n0\r\n0\r\n 4 4 3 \r\n", {1, 0, 0, 443}},
      {"40000\r\n-40000\r\n1e9\r\n1e10\r\n", {1, 0, 0, 80}},  // no fit: defaults
      {"0\r\n32768\r\n-32768\r\n-2147483648\r\n", {0, 0, -32768, -2147483647 - 1}},
      {"7\r\n5\r\n-1\r\n-8080\r\n", {7, 5, -1, -8080}},
      {"2\r\n1\r\n1\r\n81\r\n\r\n\r\n\r\n\r\n\r\n\r\n9\r\n9\r\n", {2, 1, 1, 81}},
      {"2\r\n1\r\n1\r\n81\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", {2, 1, 1, 81}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.content), c.expected) << c.content;
}

TEST(SettingsParseTest, OnlyTheFiveGermanIdentifiersDefaultToGerman) {
  for (uint16_t id : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}) {
    EXPECT_EQ(settings::DefaultLanguageIndex(id), 2) << std::hex << id;
    EXPECT_EQ(Parse("", id), (Values{2, 0, 0, 80})) << std::hex << id;
  }
  for (uint16_t id : {0x0409, 0x0808, 0x0007, 0x1807, 0x0406, 0x0000, 0x040C, 0xFFFF}) {
    EXPECT_EQ(settings::DefaultLanguageIndex(id), 1) << std::hex << id;
    EXPECT_EQ(Parse("", id), (Values{1, 0, 0, 80})) << std::hex << id;
  }
  EXPECT_EQ(Parse(" 1 \r\n", 0x0407).language, 1) << "the file wins over the system";
  EXPECT_EQ(Parse("\r\n", 0x0407).language, 0) << "an empty line is no missing line";
  EXPECT_EQ(Parse("99999\r\n", 0x0407).language, 2) << "no fit keeps the system default";
}

TEST(SettingsParseTest, SerialisesTheTenLines) {
  GlobalVariables g;
  settings::ParseSettings("", kEnglish, g);
  EXPECT_EQ(settings::SerializeSettings(g), kDefaults);
  settings::ParseSettings("", 0x0C07, g);
  EXPECT_EQ(settings::SerializeSettings(g),
            " 2 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  // Written as held, without any check.
  EXPECT_EQ(settings::SerializeSettings(With({0, 1, -7, -5})),
            " 0 \r\n 1 \r\n-7 \r\n-5 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  EXPECT_EQ(settings::SerializeSettings(With({-32768, 32767, 2, 2147483647})),
            "-32768 \r\n 32767 \r\n 2 \r\n 2147483647 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST(SettingsFileTest, PathIsTheFileNameInTheGivenFolder) {
  EXPECT_EQ(settings::SettingsFile().Path(), kCfg);
  EXPECT_EQ(settings::SettingsFile("").Path(), kCfg);
  EXPECT_EQ(settings::SettingsFile("base").Path(), platform::JoinPath("base", kCfg));
  EXPECT_NE(settings::SettingsFile("base").Path(), kCfg);
}

TEST(SettingsFileTest, FirstStartCreatesAnEmptyFileAndSaveWritesTheDefaultsByteForByte) {
  TempDir dir;
  settings::SettingsFile file(dir.Str());
  GlobalVariables g = With({99, 99, 99, 99});
  file.Load(g, kEnglish);
  ASSERT_TRUE(fs::is_regular_file(dir / kCfg));
  EXPECT_EQ(fs::file_size(dir / kCfg), 0u);
  EXPECT_EQ(Of(g), (Values{1, 0, 0, 80}));
  std::string error;
  ASSERT_TRUE(file.Save(g, &error)) << error;
  EXPECT_EQ(dir.Read(kCfg), kDefaults);

  TempDir german_dir;
  settings::SettingsFile german_file(german_dir.Str());
  GlobalVariables german;
  german_file.Load(german, 0x0407);
  EXPECT_EQ(Of(german), (Values{2, 0, 0, 80}));
  ASSERT_TRUE(german_file.Save(german));
  EXPECT_EQ(german_dir.Read(kCfg), " 2 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST(SettingsFileTest, RoundTripsWhatItWrites) {
  TempDir dir;
  settings::SettingsFile file(dir.Str());
  for (Values v : {Values{0, 1, 1, 65535}, Values{2, 0, 1, -1}, Values{1, 1, 0, 2147483647},
                   Values{0, 0, 0, -2147483647 - 1}, Values{7, 5, -3, 0}}) {
    ASSERT_TRUE(file.Save(With(v)));
    GlobalVariables back;
    file.Load(back, 0x0407);
    EXPECT_EQ(Of(back), v);
  }
  EXPECT_FALSE(fs::exists(dir / (std::string(kCfg) + ".tmp")));
  // Exactly 64 KiB, all of it read: the last line is the port.
  dir.Write(kCfg, "1\r\n0\r\n0\r\n" + std::string(65536 - 13, ' ') + "8080");
  GlobalVariables big;
  file.Load(big, 0x0407);
  EXPECT_EQ(Of(big), (Values{1, 0, 0, 8080}));
}

TEST(SettingsFileTest, LoadLeavesTheFileAloneAndSaveReplacesAllOfIt) {
  TempDir dir;
  const std::string old = "2\r\n1\r\n1\r\n8080\r\n\r\n\r\n\r\n\r\n\r\n\r\nextra line\r\nmore\r\n";
  dir.Write(kCfg, old);
  // A temporary file left over from an interrupted save does not get in the way.
  dir.Write(std::string(kCfg) + ".tmp", "stale");
  settings::SettingsFile file(dir.Str());
  GlobalVariables g;
  file.Load(g, kEnglish);
  EXPECT_EQ(Of(g), (Values{2, 1, 1, 8080}));
  EXPECT_EQ(dir.Read(kCfg), old);

  g.ServerPort = 81;
  std::string error;
  ASSERT_TRUE(file.Save(g, &error)) << error;
  EXPECT_EQ(dir.Read(kCfg), " 2 \r\n 1 \r\n 1 \r\n 81 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  EXPECT_FALSE(fs::exists(dir / (std::string(kCfg) + ".tmp")));
}

TEST(SettingsFileTest, AFailedSaveKeepsTheOldFile) {
  TempDir dir;
  // The settings path is a folder: nothing can replace it, and loading leaves the defaults.
  fs::create_directory(dir / kCfg);
  dir.Write(std::string(kCfg) + "/inside", "kept");
  settings::SettingsFile file(dir.Str());
  GlobalVariables g = With({99, 99, 99, 99});
  file.Load(g, 0x0407);
  EXPECT_EQ(Of(g), (Values{2, 0, 0, 80}));
  std::string error;
  EXPECT_FALSE(file.Save(g, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(dir / kCfg));
  EXPECT_EQ(dir.Read(std::string(kCfg) + "/inside"), "kept");
  EXPECT_FALSE(fs::exists(dir / (std::string(kCfg) + ".tmp")));
  EXPECT_FALSE(file.Save(g)) << "no error text wanted";
}

TEST(SettingsFileTest, ASaveIntoAReadOnlyFolderKeepsTheOldFile) {
  TempDir locked;
  locked.Write(kCfg, " 2 \r\n");
  fs::permissions(locked.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  const bool enforced = !std::ofstream(locked / "probe").is_open();
  if (enforced) {
    settings::SettingsFile file(locked.Str());
    GlobalVariables g;
    file.Load(g, kEnglish);
    EXPECT_EQ(Of(g), (Values{2, 0, 0, 80}));
    std::string error;
    EXPECT_FALSE(file.Save(g, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(locked.Read(kCfg), " 2 \r\n");
    EXPECT_FALSE(fs::exists(locked / (std::string(kCfg) + ".tmp")));

    // Loading a missing file from there cannot create it, and still gives the defaults.
    fs::permissions(locked.Path(), fs::perms::owner_all);
    fs::remove(locked / kCfg);
    fs::permissions(locked.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    GlobalVariables fresh = With({99, 99, 99, 99});
    file.Load(fresh, kEnglish);
    EXPECT_EQ(Of(fresh), (Values{1, 0, 0, 80}));
    EXPECT_FALSE(fs::exists(locked / kCfg));
  }
  fs::permissions(locked.Path(), fs::perms::owner_all);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced for this user";
}

// Held for a moment, and the first attempt's temporary file by a scanner: saved, none left.
TEST(SettingsFileTest, ASaveWaitsOutAHeldFileAndAScannedTemporaryFile) {
#ifndef _WIN32
  GTEST_SKIP() << "POSIX replaces files that are held open";
#else
  TempDir dir;
  dir.Write(kCfg, " 2 \r\n");
  std::string error;
  const std::wstring temp = (dir / (std::string(kCfg) + ".tmp")).wstring();
  HANDLE held =
      CreateFileW((dir / kCfg).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE scanner = nullptr;
  settings::SettingsFile retrying(dir.Str(), [&](int) {
    if (scanner) return (void)CloseHandle(held);
    scanner = CreateFileW(temp.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, 0, nullptr);
    DeleteFileW(temp.c_str());
  });
  EXPECT_TRUE(retrying.Save(With({1, 0, 0, 80}), &error)) << error;
  CloseHandle(scanner);
  EXPECT_EQ(dir.Read(kCfg).substr(0, 5), " 1 \r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
#endif
}

}  // namespace
