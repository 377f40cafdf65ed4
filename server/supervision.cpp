#include "server/supervision.h"

#include <exception>

namespace server {

void SupervisionTick(GlobalVariables& g, ServerControl& server, SupervisedControls& controls) {
  controls.SetTimerEnabled(false);
  try {
    const bool running = server.IsServerRunning(g.ServerPid);
    if (running) {
      server.DrainServerOutput();
      if (controls.StartEnabled()) {
        controls.SetStartEnabled(false);
        controls.SetStopEnabled(true);
        controls.SetPortEnabled(false);
      }
    } else {
      if (!controls.StartEnabled()) {
        controls.SetStartEnabled(true);
        controls.SetStopEnabled(false);
        controls.SetPortEnabled(true);
      }
      // ServerGone finds the gone server by ServerPid to read its last words and report
      // its end: only then is the identifier forgotten.
      if (g.ServerPid != 0) server.ServerGone();
      g.ServerPid = 0;
    }
    if (g.AutoStartPending == 1) {
      g.AutoStartPending = 0;
      if (controls.StartEnabled()) server.Start();
    }
  } catch (const std::exception&) {
    // A failed step of one tick must not end supervision; the next tick retries the probe.
  }
  controls.SetTimerEnabled(true);
}

}  // namespace server
