#include "server/server_control.h"

#include <utility>

#include "server/command_line.h"

namespace server {

ServerControl::ServerControl(GlobalVariables& g, platform::Processes& processes, WarningSink warn,
                             std::string install_dir)
    : g_(g), processes_(processes), warn_(std::move(warn)), install_dir_(std::move(install_dir)) {}

void ServerControl::Start() {
  // A server launched a moment ago is still tracked until the next tick clears it.
  if (g_.ServerPid != 0) return;

  const int32_t port = g_.ServerPort;
  if (port >= 1 && port <= 65535) {
    switch (processes_.LoopbackPortState(port)) {
      case platform::PortState::Free:
        break;
      case platform::PortState::InUse:
        warn_("TCP port " + std::to_string(port) + " is already in use.");
        return;
      case platform::PortState::Reserved:
        warn_("TCP port " + std::to_string(port) + " is reserved by the system.");
        return;
    }
  }

  // An absolute path: no search path is consulted, and blanks in folder names are harmless.
  const std::string dir = install_dir_.empty() ? platform::CurrentDirectory() : install_dir_;
  const std::string program = platform::JoinPath(dir, platform::kInterpreterRelativePath);
  const platform::LaunchResult launched =
      processes_.Launch(program, ServerCommandLine(port), install_dir_);
  if (launched.pid == 0) {
    warn_(std::string(kUnableToStart) + "\r\n" + launched.error);
    return;
  }
  g_.ServerPid = launched.pid;
  g_.ServerStartTime = launched.start_time;
}

void ServerControl::Stop() {
  if (!KillServer(g_.ServerPid)) warn_(kUnableToAccess);
}

bool ServerControl::IsServerRunning(int32_t pid) {
  // The shared identifier decides, not the argument: every caller passes ServerPid.
  if (g_.ServerPid == 0) return false;
  return processes_.IsRunning(pid, g_.ServerStartTime);
}

bool ServerControl::KillServer(int32_t pid) {
  if (g_.ServerPid == 0) return true;
  return processes_.Terminate(pid, g_.ServerStartTime);
}

}  // namespace server
