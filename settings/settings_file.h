// The settings file "Dravelo_WEB_MONITOR.CFG": ten CR LF lines holding the
// language, the two start-up options and the TCP port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/global_variables.h"

namespace settings {

inline constexpr char kFileName[] = "Dravelo_WEB_MONITOR.CFG";
// The defaults of the two option flags and of the port, when the file does not say.
inline constexpr int16_t kDefaultFlag = 0;
inline constexpr int32_t kDefaultPort = 80;

// 2 for the five German language identifiers, 1 for any other.
int16_t DefaultLanguageIndex(uint16_t system_lang_id);

// Fills the four settings of `g` from `content`, after resetting them to their
// defaults; the language default follows `system_lang_id`.
void ParseSettings(std::string_view content, uint16_t system_lang_id, GlobalVariables& g);

// The bytes a save writes.
std::string SerializeSettings(const GlobalVariables& g);

class SettingsFile {
 public:
  static constexpr int kSaveAttempts = 5;
  static constexpr int kRetryPauseMs = 250;

  // Waits `ms` between the attempts to save.
  using Pause = std::function<void(int ms)>;

  // `directory` empty: the file lies in the working directory. Without `pause`
  // the thread sleeps.
  explicit SettingsFile(std::string directory = {}, Pause pause = {});

  const std::string& Path() const { return path_; }

  // Creates the file when missing, then loads it from its first 64 KiB; a file
  // that cannot be read leaves the defaults.
  void Load(GlobalVariables& g, uint16_t system_lang_id) const;

  // Writes the settings. A file that another program holds is tried again, up to
  // `attempts` in all, kRetryPauseMs apart (about a second by default); one marked
  // read-only is not. On failure the previous file stays as it was and *error (if
  // given) holds the reason.
  bool Save(const GlobalVariables& g, std::string* error = nullptr,
            int attempts = kSaveAttempts) const;

 private:
  std::string path_;
  Pause pause_;
};

}  // namespace settings
