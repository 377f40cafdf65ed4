// The model's timers as system timers of the binding's own window.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win32/toolkit/native_window.h"
#include "ui/toolkit.h"

namespace platform::win32 {

// Timer changes made inside an event are applied when it ends, or before a
// message box runs its own loop: the tick's disable-then-enable costs no calls.
// The changes are kept in vectors that keep their storage: a tick allocates nothing.
class TimerService {
 public:
  static constexpr UINT_PTR kFirstTimerId = 100;

  // `target` receives the timers' WM_TIMER.
  explicit TimerService(const NativeWindow& target) : target_(target) {}

  // Starts a new full period when the timer is enabled, stops it otherwise.
  void Schedule(ui::Timer& timer);
  // The timer of a WM_TIMER's identifier; null when there is none.
  ui::Timer* Find(UINT_PTR id) const;
  // The form is unloaded: its timers stop.
  void Forget(const ui::Form& form);

  // An event begins; the changes it makes wait for its end.
  void BeginEvent() { ++depth_; }
  void EndEvent() {
    --depth_;
    Flush();
  }
  // Applies the changes waiting.
  void Flush();

 private:
  void Apply(size_t slot, UINT interval);

  const NativeWindow& target_;
  int depth_ = 0;
  // By identifier from kFirstTimerId on: each timer, null once forgotten, and
  // the interval it runs with, 0 when it is stopped.
  std::vector<ui::Timer*> timers_;
  std::vector<UINT> running_;
  // The changes of the current event (0 stops), and those being applied.
  std::vector<std::pair<size_t, UINT>> pending_;
  std::vector<std::pair<size_t, UINT>> flushing_;
};

}  // namespace platform::win32
