// The 500 ms supervision tick that keeps the panel in line with the server.
#pragma once

#include "app/global_variables.h"
#include "server/server_control.h"

namespace server {

// The four enabled flags through which the tick reaches the window.
class SupervisedControls {
 public:
  virtual ~SupervisedControls() = default;
  virtual bool StartEnabled() const = 0;
  virtual void SetStartEnabled(bool enabled) = 0;
  virtual void SetStopEnabled(bool enabled) = 0;
  virtual void SetPortEnabled(bool enabled) = 0;
  virtual void SetTimerEnabled(bool enabled) = 0;
};

// Probes the server, switches the controls between Running and Stopped, forgets
// a server that has gone and performs the one automatic start. The timer is
// enabled again on every path, so supervision always goes on.
void SupervisionTick(GlobalVariables& g, ServerControl& server, SupervisedControls& controls);

}  // namespace server
