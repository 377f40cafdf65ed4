// Start, Stop, probe and termination of the PHP server process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/global_variables.h"
#include "platform/process.h"

namespace server {

inline constexpr char kUnableToAccess[] = "Unable to access running Webserver.";
inline constexpr char kUnableToStart[] = "Unable to start Webserver.";

class ServerControl {
 public:
  // Shows a modal warning box with the default caption.
  using WarningSink = std::function<void(const std::string& text)>;

  // `install_dir` empty: the working directory is the installation folder.
  ServerControl(GlobalVariables& g, platform::Processes& processes, WarningSink warn,
                std::string install_dir = {});

  // Launches the server on ServerPort unless one is tracked already.
  void Start();
  // Terminates the tracked server; warns when it cannot be reached.
  void Stop();

  bool IsServerRunning(int32_t pid);
  bool KillServer(int32_t pid);

 private:
  GlobalVariables& g_;
  platform::Processes& processes_;
  WarningSink warn_;
  std::string install_dir_;
};

}  // namespace server
