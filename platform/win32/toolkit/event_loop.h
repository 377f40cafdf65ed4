// The event loop: the model's handlers run through Dispatch, the failures they
// leave reported, and the message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/toolkit/timers.h"
#include "ui/toolkit.h"

namespace platform::win32 {

class EventLoop {
 public:
  explicit EventLoop(TimerService& timers) : timers_(timers) {}

  // Runs an event handler of the model; a failure nothing trapped is reported.
  template <class Handler>
  void Dispatch(Handler handler);
  // Reports the failure being handled in an "Error" box; called in a catch block.
  void ReportFailure();

  // Serves events until End.
  void Run();
  void End() { PostQuitMessage(0); }

  // A modal box, owned by `owner` if there is one.
  void ShowMessage(HWND owner, const std::string& text, const std::string& caption,
                   ui::MessageIcon icon);
  // Brings the message box that is shown to the front.
  void RaiseMessageBox();
  // The message boxes (dialog windows) this thread shows.
  static std::vector<HWND> MessageBoxesOfThisThread();

 private:
  TimerService& timers_;
};

template <class Handler>
void EventLoop::Dispatch(Handler handler) {
  timers_.BeginEvent();
  try {
    handler();
  } catch (...) {
    ReportFailure();
  }
  timers_.EndEvent();
}

}  // namespace platform::win32
