#include "server/messages.h"

#include <cstdio>
#include <vector>

namespace server {

namespace {

constexpr uint32_t kFirstStatus = 0xC0000000;

struct Meaning {
  uint32_t status;
  const char* text;
};

constexpr Meaning kMeanings[] = {
    {0xC0000135,
     "A DLL that php.exe needs was not found: install the Microsoft Visual C++ "
     "Redistributable, or put the missing DLL into the php folder."},
    {0xC000007B,
     "php.exe and one of its DLLs are built for different bitness: use the 32-bit or the "
     "64-bit ones throughout."},
    {0xC0000139,
     "A DLL of another PHP version was found: use the DLLs that came with this php.exe."},
    {0xC0000005, "PHP crashed."},
    {0xC0000409, "PHP ended at a fail-fast check."},
};

}  // namespace

std::string ExitCodeText(uint32_t code) {
  if (code < kFirstStatus) return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

std::string ExitCodeMeaning(uint32_t code) {
  for (const Meaning& m : kMeanings)
    if (m.status == code) return m.text;
  return {};
}

std::string QuotedOutput(const std::string& output) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\n' || c == '\r') {
      if (!lines.back().empty()) lines.emplace_back();
    } else if (c == '\x1b') {
      // A terminal's colour sequence: ESC [ parameters, then a letter.
      if (i + 1 < output.size() && output[i + 1] == '[')
        for (i += 2; i < output.size() && (output[i] < 0x40 || output[i] > 0x7E);) ++i;
    } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
      lines.back() += c;
    } else if (c == '\t') {
      lines.back() += ' ';
    }
  }
  std::string quoted;
  int kept = 0;
  for (std::string& line : lines) {
    line.erase(line.find_last_not_of(' ') + 1);
    line.erase(0, line.find_first_not_of(' '));
    if (line.empty() || kept == kEarlyOutputLines) continue;
    if (kept++) quoted += "\r\n";
    quoted += line;
  }
  return quoted;
}

std::string EndedAtOnceReport(std::optional<uint32_t> code, const std::string& output) {
  std::string text = kEndedAtOnce;
  if (code) text += " (exit code " + ExitCodeText(*code) + ")";
  const std::string meaning = code ? ExitCodeMeaning(*code) : std::string();
  const std::string quoted = QuotedOutput(output);
  if (!meaning.empty()) return text + ".\r\n" + meaning + (quoted.empty() ? "" : "\r\n" + quoted);
  return text + (quoted.empty() ? "." : ":\r\n" + quoted);
}

std::string PortInUseReport(int port, const std::optional<platform::PortOwner>& owner) {
  const std::string text = "TCP port " + std::to_string(port) + " is already in use";
  if (!owner) return text + ".";
  const std::string process = "process " + std::to_string(owner->pid);
  if (owner->system)
    return text + " by Windows itself (" + process +
           "): HTTP.sys holds it for a service, such as IIS, WinRM or a URL reservation.";
  if (owner->name.empty()) return text + " by " + process + ".";
  return text + " by " + owner->name + " (" + process + ").";
}

std::string PortHeldAfterServerReport(int port, const std::string& app_name) {
  return "TCP port " + std::to_string(port) +
         " is still in use by a program that the Webserver started. It ends when " + app_name +
         " is quit.";
}

}  // namespace server
