#include "platform/win32/toolkit/tasks.h"

#include <utility>

namespace platform::win32 {

void TaskQueue::Post(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  PostMessageW(target_.Handle(), kRunPostedTasks, 0, 0);
}

std::function<void()> TaskQueue::Next() {
  if (tasks_.empty()) return nullptr;
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  return task;
}

}  // namespace platform::win32
