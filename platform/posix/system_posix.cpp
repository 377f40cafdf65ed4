#include <unistd.h>

#include <climits>

#include "platform/process.h"
#include "platform/system.h"

namespace platform {

// The POSIX build runs the portable code in tests; it reports an English system.
uint16_t SystemDefaultLangId() { return 0x0409; }

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xC0) != 0x80) {
      out += '?';  // one replacement per multi-byte character
    }
  }
  return out;
}

const char kInterpreterRelativePath[] = "php/php";

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) return ".";
  return buffer;
}

std::string JoinPath(const std::string& dir, const std::string& relative) {
  if (dir.empty()) return relative;
  if (dir.back() == '/') return dir + relative;
  return dir + "/" + relative;
}

}  // namespace platform
