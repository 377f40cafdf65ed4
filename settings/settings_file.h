// The settings file "Dravelo_WEB_MONITOR.CFG": ten CR LF lines holding the
// language, the two start-up options and the TCP port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/global_variables.h"

namespace settings {

inline constexpr char kFileName[] = "Dravelo_WEB_MONITOR.CFG";

// 2 for the five German language identifiers, 1 for any other.
int16_t DefaultLanguageIndex(uint16_t system_lang_id);

// Fills the four settings of `g` from `content`, after resetting them to their
// defaults; the language default follows `system_lang_id`.
void ParseSettings(std::string_view content, uint16_t system_lang_id, GlobalVariables& g);

// The bytes a save writes.
std::string SerializeSettings(const GlobalVariables& g);

class SettingsFile {
 public:
  // `directory` empty: the file lies in the working directory.
  explicit SettingsFile(std::string directory = {});

  const std::string& Path() const { return path_; }

  // Creates the file when missing, then loads it; a file that cannot be read
  // leaves the defaults.
  void Load(GlobalVariables& g, uint16_t system_lang_id) const;

  // Writes the settings; on failure the previous file stays as it was and
  // *error (if given) holds the reason.
  bool Save(const GlobalVariables& g, std::string* error = nullptr) const;

 private:
  std::string path_;
};

}  // namespace settings
