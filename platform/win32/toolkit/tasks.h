// Tasks that run after the event being handled has returned.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>

#include "platform/win32/toolkit/native_window.h"

namespace platform::win32 {

// Each task is announced by a message to the binding's own window, so that the
// tasks also run inside a message box's loop.
class TaskQueue {
 public:
  static constexpr UINT kRunPostedTasks = WM_APP + 2;

  explicit TaskQueue(const NativeWindow& target) : target_(target) {}

  void Post(std::function<void()> task);
  // The next task, taken off the queue; empty when none is left.
  std::function<void()> Next();

 private:
  const NativeWindow& target_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace platform::win32
