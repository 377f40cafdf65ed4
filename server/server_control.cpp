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
      case platform::PortState::InUse: {
        const std::optional<platform::PortOwner> owner = processes_.LoopbackPortOwner(port);
        // Our last server has ended here (Start runs without a tracked one): a process it
        // started holds the socket, which the system names by the process that opened it.
        warn_(owner && server_ && server_->Identifies(owner->pid)
                  ? PortHeldAfterServerReport(port, g_.AppName)
                  : PortInUseReport(port, owner));
        return;
      }
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
  platform::LaunchResult launched =
      processes_.Launch(program, ServerCommandLine(port), install_dir_, environment);
  if (!launched.server) {
    warn_(std::string(kUnableToStart) + "\r\n" + launched.error);
    return;
  }
  server_ = std::move(launched.server);
  g_.ServerPid = server_->Pid();
  launched_at_ms_ = clock_();
  early_output_.clear();
}

void ServerControl::Stop() {
  if (!KillServer(g_.ServerPid)) warn_(kUnableToAccess);
}

platform::LaunchedServer* ServerControl::Tracked(int32_t pid) const {
  return server_ && server_->Pid() == pid ? server_.get() : nullptr;
}

bool ServerControl::IsServerRunning(int32_t pid) {
  // The shared identifier decides, not the argument: every caller passes ServerPid.
  if (g_.ServerPid == 0) return false;
  platform::LaunchedServer* server = Tracked(pid);
  return server && server->IsRunning();
}

bool ServerControl::KillServer(int32_t pid) {
  if (g_.ServerPid == 0) return true;
  // A server we stop ourselves is never reported as ended.
  launched_at_ms_.reset();
  platform::LaunchedServer* server = Tracked(pid);
  return server && server->Terminate();
}

void ServerControl::DrainServerOutput() {
  // Only a launch not yet stopped by us keeps words; the rest are read and dropped.
  if (platform::LaunchedServer* server = Tracked(g_.ServerPid))
    server->DrainOutput(early_output_, launched_at_ms_ ? kEarlyOutputBytes : early_output_.size());
}

void ServerControl::ServerGone() {
  // Its last words, and the pipe closed.
  DrainServerOutput();
  const std::optional<int64_t> launched_at = std::exchange(launched_at_ms_, std::nullopt);
  platform::LaunchedServer* server = Tracked(g_.ServerPid);
  const std::string output = std::exchange(early_output_, {});
  if (!server || !launched_at || clock_() - *launched_at > kEarlyEndMs) return;
  const std::string text = EndedAtOnceReport(server->ExitCode(), output);
  defer_([warn = warn_, text] { warn(text); });
}

}  // namespace server
