// libFuzzer target: the settings reader and the numeric conversion. Every
// property below holds for any input; a broken one prints what failed and traps.
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/global_variables.h"
#include "settings/numeric_value.h"
#include "settings/settings_file.h"

namespace {

namespace fs = std::filesystem;

#define CHECK(cond)                                                                          \
  do {                                                                                       \
    if (!(cond)) {                                                                           \
      std::fprintf(stderr, "settings_fuzz: check failed at line %d: %s\n", __LINE__, #cond); \
      __builtin_trap();                                                                      \
    }                                                                                        \
  } while (0)

constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kGerman = 0x0407;

struct Values {
  int16_t language, minimised, automatic;
  int32_t port;
  bool operator==(const Values&) const = default;
};

Values Of(const GlobalVariables& g) {
  return {g.LanguageIndex, g.StartMinimized, g.StartAutomatically, g.ServerPort};
}

Values Parse(std::string_view content, uint16_t lang) {
  GlobalVariables g;
  // Values that are no default, so that a field the reader forgets shows.
  g.LanguageIndex = g.StartMinimized = g.StartAutomatically = 99;
  g.ServerPort = 99;
  try {
    settings::ParseSettings(content, lang, g);
  } catch (...) {
    CHECK(!"ParseSettings threw");
  }
  return Of(g);
}

// The file's lines, split here without the reader's help: a CR ends a line and
// takes one LF after it along; a trailing piece without CR is a line too.
std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\r') continue;
    lines.push_back(content.substr(start, i - start));
    if (i + 1 < content.size() && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text)
    if (!Blank(c)) out += c;
  return out;
}

// Cut at the first character that can be no part of a number.
std::string_view NumericCharacters(std::string_view text) {
  return text.substr(0, text.find_first_not_of("0123456789+-.eE \t\n"));
}

// Rounding half to even, worked out on the truncated value; v - trunc(v) is exact.
template <class T>
std::optional<T> ExpectedRound(double v) {
  if (!std::isfinite(v)) return std::nullopt;
  const double whole = std::trunc(v);
  const double part = std::fabs(v - whole);
  const double away = whole + (v < 0 ? -1.0 : 1.0);
  double r = whole;
  if (part > 0.5 || (part == 0.5 && std::fmod(whole, 2.0) != 0)) r = away;
  if (r < std::numeric_limits<T>::min() || r > std::numeric_limits<T>::max()) return std::nullopt;
  return static_cast<T>(r);
}

bool SameDouble(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

void CheckNumericValue(std::string_view text) {
  const double v = settings::NumericValue(text);
  CHECK(!std::isnan(v));

  // Blanks count nowhere, and nothing after the first foreign character counts.
  const std::string stripped = WithoutBlanks(NumericCharacters(text));
  CHECK(SameDouble(settings::NumericValue(stripped), v));
  CHECK(SameDouble(settings::NumericValue(std::string(text) + "\r9"), v));

  // strtod in the C locale reads the same decimal prefix (hexadecimal, "inf"
  // and "nan" are cut off above); out of range it gives +-HUGE_VAL or 0 too.
  char* end = nullptr;
  errno = 0;
  const double expected = std::strtod(stripped.c_str(), &end);
  CHECK(v == expected);

  // A sign in front negates, unless the text has a sign of its own.
  const size_t first = text.find_first_not_of(" \t\n");
  if (first == std::string_view::npos || (text[first] != '+' && text[first] != '-')) {
    CHECK(settings::NumericValue("-" + std::string(text)) == -v);
    CHECK(SameDouble(settings::NumericValue("+" + std::string(text)), v));
  }

  const std::optional<int16_t> r16 = settings::RoundToInt16(v);
  const std::optional<int32_t> r32 = settings::RoundToInt32(v);
  CHECK(r16 == ExpectedRound<int16_t>(v));
  CHECK(r32 == ExpectedRound<int32_t>(v));
  if (r16) CHECK(r32 && *r32 == *r16);
}

// Each of the four fields holds the rounded value of its line, or its default
// when the line is missing or its value does not fit.
void CheckFields(const std::vector<std::string_view>& lines, const Values& got,
                 int16_t language_default) {
  auto flag = [&](size_t i, int16_t fallback) -> int16_t {
    if (i >= lines.size()) return fallback;
    return settings::RoundToInt16(settings::NumericValue(lines[i])).value_or(fallback);
  };
  int32_t port = 80;
  if (lines.size() > 3)
    port = settings::RoundToInt32(settings::NumericValue(lines[3])).value_or(80);
  CHECK(got.language == flag(0, language_default));
  CHECK(got.minimised == flag(1, 0));
  CHECK(got.automatic == flag(2, 0));
  CHECK(got.port == port);
}

// Ten CR LF lines: four display forms, then six empty ones.
void CheckSerialised(const std::string& out, const Values& v) {
  const std::vector<std::string_view> lines = SplitLines(out);
  CHECK(lines.size() == 10);
  CHECK(out.find_first_not_of(" -0123456789\r\n") == std::string::npos);
  const int64_t fields[] = {v.language, v.minimised, v.automatic, v.port};
  for (size_t i = 0; i < 4; ++i) {
    const std::string_view line = lines[i];
    CHECK(line.size() >= 3 && line.back() == ' ');
    CHECK(line[0] == (fields[i] < 0 ? '-' : ' '));
    CHECK(line.substr(1, line.size() - 2) ==
          std::to_string(fields[i] < 0 ? -fields[i] : fields[i]));
  }
  for (size_t i = 4; i < 10; ++i) CHECK(lines[i].empty());
  size_t crlf = 0;
  for (size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2)) ++crlf;
  CHECK(crlf == 10 && out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0);
}

// One folder for the whole run, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string name = (fs::temp_directory_path() / "settings-fuzz-XXXXXX").string();
    CHECK(::mkdtemp(name.data()) != nullptr);
    path_ = name;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Loading the bytes from disk gives what parsing them gives, and leaves the file as it was.
void CheckFileLoad(std::string_view content, const Values& parsed) {
  static ScratchFolder folder;
  const fs::path file = folder.Path() / settings::kFileName;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    CHECK(out.good());
  }
  GlobalVariables g;
  settings::SettingsFile(folder.Path().string()).Load(g, kEnglish);
  CHECK(Of(g) == parsed);
  CHECK(ReadFile(file) == content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> lines = SplitLines(content);

  const Values english = Parse(content, kEnglish);
  const Values german = Parse(content, kGerman);
  CheckFields(lines, english, 1);
  CheckFields(lines, german, 2);
  CHECK(english.minimised == german.minimised && english.automatic == german.automatic &&
        english.port == german.port);

  // What a save writes reads back the same, whatever the system language.
  for (const Values& v : {english, german}) {
    GlobalVariables g;
    g.LanguageIndex = v.language;
    g.StartMinimized = v.minimised;
    g.StartAutomatically = v.automatic;
    g.ServerPort = v.port;
    const std::string saved = settings::SerializeSettings(g);
    CheckSerialised(saved, v);
    CHECK(Parse(saved, kEnglish) == v);
    CHECK(Parse(saved, kGerman) == v);
    // Anything after the ten lines is never read.
    CHECK(Parse(saved + std::string(content), kEnglish) == v);
  }

  CheckFileLoad(content, english);

  for (std::string_view line : lines) CheckNumericValue(line);
  CheckNumericValue(content);  // the port field takes any text
  return 0;
}
