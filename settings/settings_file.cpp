#include "settings/settings_file.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/process.h"
#include "settings/numeric_value.h"

namespace settings {

namespace {

constexpr int kReservedLines = 6;
// Ten short lines are all that is ever read: a huge file costs no more memory.
constexpr size_t kMaxReadBytes = 64 * 1024;

// Sequential reading by lines: up to a CR, and a LF right after it goes with
// it; a lone LF belongs to the line. The last line needs no terminator.
class LineReader {
 public:
  explicit LineReader(std::string_view content) : content_(content) {}
  bool AtEnd() const { return pos_ >= content_.size(); }
  std::string_view Next() {
    const size_t cr = content_.find('\r', pos_);
    const size_t end = cr == std::string_view::npos ? content_.size() : cr;
    const std::string_view line = content_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < content_.size()) ++pos_;  // the CR
    if (cr != std::string_view::npos && pos_ < content_.size() && content_[pos_] == '\n') ++pos_;
    return line;
  }

 private:
  std::string_view content_;
  size_t pos_ = 0;
};

}  // namespace

int16_t DefaultLanguageIndex(uint16_t system_lang_id) {
  switch (system_lang_id) {
    case 0x0407:
    case 0x0807:
    case 0x0C07:
    case 0x1007:
    case 0x1407:
      return 2;
    default:
      return 1;
  }
}

void ParseSettings(std::string_view content, uint16_t system_lang_id, GlobalVariables& g) {
  g.LanguageIndex = DefaultLanguageIndex(system_lang_id);
  g.StartMinimized = kDefaultFlag;
  g.StartAutomatically = kDefaultFlag;
  g.ServerPort = kDefaultPort;

  LineReader reader(content);
  // A value that does not fit its field keeps the field's default.
  int16_t* flags[] = {&g.LanguageIndex, &g.StartMinimized, &g.StartAutomatically};
  for (int16_t* field : flags) {
    if (reader.AtEnd()) return;
    if (auto v = RoundToInt16(NumericValue(reader.Next()))) *field = *v;
  }
  if (reader.AtEnd()) return;
  if (auto v = RoundToInt32(NumericValue(reader.Next()))) g.ServerPort = *v;
  for (int i = 0; i < kReservedLines && !reader.AtEnd(); ++i) reader.Next();
}

std::string SerializeSettings(const GlobalVariables& g) {
  std::string out;
  for (int64_t v : {int64_t{g.LanguageIndex}, int64_t{g.StartMinimized},
                    int64_t{g.StartAutomatically}, int64_t{g.ServerPort}})
    out += DisplayForm(v) + "\r\n";
  for (int i = 0; i < kReservedLines; ++i) out += "\r\n";
  return out;
}

SettingsFile::SettingsFile(std::string directory, Pause pause)
    : path_(directory.empty() ? std::string(kFileName) : platform::JoinPath(directory, kFileName)),
      pause_(pause ? std::move(pause) : Pause([](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      })) {}

void SettingsFile::Load(GlobalVariables& g, uint16_t system_lang_id) const {
  platform::CreateFileIfMissing(path_);
  const std::optional<std::string> content = platform::ReadFileStart(path_, kMaxReadBytes);
  ParseSettings(content ? *content : std::string_view{}, system_lang_id, g);
}

bool SettingsFile::Save(const GlobalVariables& g, std::string* error, int attempts) const {
  const std::string content = SerializeSettings(g);
  for (int attempt = 1;; ++attempt) {
    const platform::ReplaceResult result =
        platform::ReplaceFileContent(path_, content, error, attempt);
    if (result != platform::ReplaceResult::Held || attempt >= attempts)
      return result == platform::ReplaceResult::Replaced;
    pause_(kRetryPauseMs);
  }
}

}  // namespace settings
