// What the user is told when the server cannot start or ends at once: the
// reason in words to act on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/process.h"

namespace server {

inline constexpr char kEndedAtOnce[] = "The Webserver ended right after it was started";
// What of the server's first words is kept for the early-end report.
inline constexpr size_t kEarlyOutputBytes = 2048;
inline constexpr int kEarlyOutputLines = 8;

// An exit code as Windows writes it: a status (0xC0000000 and above) in
// hexadecimal, "0xC0000135", anything else in decimal.
std::string ExitCodeText(uint32_t code);

// What a common Windows status means to the user; empty for other codes.
std::string ExitCodeMeaning(uint32_t code);

// The server's words trimmed for a message box: its lines without control
// characters or blank lines around them, at most kEarlyOutputLines, CR LF between.
std::string QuotedOutput(const std::string& output);

// The report of a server that ended by itself right after its start.
std::string EndedAtOnceReport(std::optional<uint32_t> code, const std::string& output);

// "TCP port <port> is already in use", and by whom when that is known.
std::string PortInUseReport(int port, const std::optional<platform::PortOwner>& owner);

// The port still held by a program that a server of ours started, after that server
// has ended (the system names the socket by the server that opened it); it ends when
// the program `app_name` is quit.
std::string PortHeldAfterServerReport(int port, const std::string& app_name);

}  // namespace server
