#include "server/server_control.h"

#include <chrono>
#include <utility>

#include "platform/file_system.h"
#include "server/command_line.h"

namespace server {

namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ServerControl::ServerControl(GlobalVariables& g, platform::Processes& processes, WarningSink warn,
                             std::string install_dir, Clock clock, Defer defer)
    : g_(g),
      processes_(processes),
      warn_(std::move(warn)),
      install_dir_(std::move(install_dir)),
      clock_(clock ? std::move(clock) : Clock(SteadyMs)),
      defer_(defer ? std::move(defer) : Defer([](std::function<void()> task) { task(); })) {}

void ServerControl::Start() {
  // A server launched a moment ago is still tracked until the next tick clears it.
  if (g_.ServerPid != 0) return;

  const int32_t port = g_.ServerPort;
  if (port >= 1 && port <= 65535) {
    const std::string tcp_port = "TCP port " + std::to_string(port);
    switch (processes_.LoopbackPortState(port)) {
      case platform::PortState::Free:
        break;
      case platform::PortState::InUse:
        warn_(PortInUseReport(port, processes_.LoopbackPortOwner(port)));
        return;
      case platform::PortState::Reserved:
        warn_(tcp_port + " is reserved by the system.");
        return;
      case platform::PortState::Unchecked:
        warn_(tcp_port + " cannot be checked: the system's network library could not be loaded.");
        return;
    }
  }

  // An absolute path: no search path is consulted, and blanks in folder names are harmless.
  const std::string dir = install_dir_.empty() ? platform::CurrentDirectory() : install_dir_;
  const std::string program = platform::JoinPath(dir, platform::kInterpreterRelativePath);
  // The installation's php.ini wins over the settings of another PHP on the machine
  // (PHPRC, the registry, the Windows folder), and no other ini files are added.
  const std::string php_dir = platform::JoinPath(dir, "php");
  platform::EnvironmentChanges environment;
  if (platform::IsFile(platform::JoinPath(php_dir, "php.ini")))
    environment = {{"PHPRC", php_dir}, {"PHP_INI_SCAN_DIR", ""}};
  const platform::LaunchResult launched =
      processes_.Launch(program, ServerCommandLine(port), install_dir_, environment);
  if (launched.pid == 0) {
    warn_(std::string(kUnableToStart) + "\r\n" + launched.error);
    return;
  }
  g_.ServerPid = launched.pid;
  g_.ServerStartTime = launched.start_time;
  launch_ = Launch{launched.pid, launched.start_time, clock_()};
  early_output_.clear();
}

void ServerControl::Stop() {
  if (!KillServer(g_.ServerPid)) warn_(kUnableToAccess);
}

bool ServerControl::IsServerRunning(int32_t pid) {
  // The shared identifier decides, not the argument: every caller passes ServerPid.
  if (g_.ServerPid == 0) return false;
  // Only a launch not yet stopped by us keeps words; the rest are read and dropped.
  processes_.DrainOutput(pid, g_.ServerStartTime, early_output_,
                         launch_ ? kEarlyOutputBytes : early_output_.size());
  return processes_.IsRunning(pid, g_.ServerStartTime);
}

bool ServerControl::KillServer(int32_t pid) {
  if (g_.ServerPid == 0) return true;
  // A server we stop ourselves is never reported as ended.
  launch_.reset();
  return processes_.Terminate(pid, g_.ServerStartTime);
}

void ServerControl::ServerGone() {
  const std::optional<Launch> launch = std::exchange(launch_, std::nullopt);
  // Its last words, and the pipe closed.
  processes_.DrainOutput(g_.ServerPid, g_.ServerStartTime, early_output_,
                         launch ? kEarlyOutputBytes : early_output_.size());
  const std::string output = std::exchange(early_output_, {});
  if (!launch || launch->pid != g_.ServerPid || launch->start_time != g_.ServerStartTime) return;
  if (clock_() - launch->at_ms > kEarlyEndMs) return;
  const std::string text =
      EndedAtOnceReport(processes_.ExitCode(launch->pid, launch->start_time), output);
  defer_([warn = warn_, text] { warn(text); });
}

}  // namespace server
