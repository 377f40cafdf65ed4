// Start, Stop, probe and termination of the PHP server process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/global_variables.h"
#include "platform/process.h"
#include "server/messages.h"

namespace server {

inline constexpr char kUnableToAccess[] = "Unable to access running Webserver.";
inline constexpr char kUnableToStart[] = "Unable to start Webserver.";
// A server that ends by itself within this time of its launch is reported.
inline constexpr int kEarlyEndMs = 2000;

class ServerControl {
 public:
  // Shows a modal warning box with the default caption.
  using WarningSink = std::function<void(const std::string& text)>;

  // Milliseconds of a monotonic clock.
  using Clock = std::function<int64_t()>;
  // Runs a task after the event being handled has returned.
  using Defer = std::function<void(std::function<void()> task)>;

  // `install_dir` empty: the working directory is the installation folder. Without a
  // clock the steady clock is used; without `defer` a task runs at once.
  ServerControl(GlobalVariables& g, platform::Processes& processes, WarningSink warn,
                std::string install_dir = {}, Clock clock = {}, Defer defer = {});

  // Launches the server on ServerPort unless one is tracked already.
  void Start();
  // Terminates the tracked server; warns when it cannot be reached.
  void Stop();

  // Whether the tracked server still runs: one look at the system, nothing read.
  bool IsServerRunning(int32_t pid);
  bool KillServer(int32_t pid);

  // For the tick while the tracked server runs: reads what it has written, so that it
  // never waits on a full pipe; its first words are kept for the early-end report.
  void DrainServerOutput();

  // For the tick, when it finds the tracked server gone, while ServerPid still names
  // it: reads its last words and closes its pipe; a server that ended by itself within
  // kEarlyEndMs of its launch is reported once, with its exit code and its own first
  // words, after the current event (the tick goes on while the box is open).
  void ServerGone();

 private:
  // The launched server that `pid` names, if any.
  platform::LaunchedServer* Tracked(int32_t pid) const;

  GlobalVariables& g_;
  platform::Processes& processes_;
  WarningSink warn_;
  std::string install_dir_;
  Clock clock_;
  Defer defer_;
  // The last server launched, kept after its end until the next launch.
  std::unique_ptr<platform::LaunchedServer> server_;
  // When it was launched, while an end by itself is still to be reported: not once we
  // have stopped it, or its end has been seen.
  std::optional<int64_t> launched_at_ms_;
  // What the tracked server wrote first, up to kEarlyOutputBytes.
  std::string early_output_;
};

}  // namespace server
