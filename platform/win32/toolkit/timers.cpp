#include "platform/win32/toolkit/timers.h"

#include <algorithm>

namespace platform::win32 {

void TimerService::Schedule(ui::Timer& timer) {
  auto found = std::find(timers_.begin(), timers_.end(), &timer);
  if (found == timers_.end()) {
    if (!timer.Enabled()) return;
    timers_.push_back(&timer);
    running_.push_back(0);
    found = timers_.end() - 1;
  }
  const auto slot = static_cast<size_t>(found - timers_.begin());
  const UINT interval = timer.Enabled() ? static_cast<UINT>(std::max(timer.Interval(), 1)) : 0;
  if (depth_ == 0) return Apply(slot, interval);
  const auto pending = std::find_if(pending_.begin(), pending_.end(),
                                    [&](const auto& p) { return p.first == slot; });
  if (pending != pending_.end())
    pending->second = interval;
  else
    pending_.emplace_back(slot, interval);
}

ui::Timer* TimerService::Find(UINT_PTR id) const {
  const size_t slot = id - kFirstTimerId;
  return id >= kFirstTimerId && slot < timers_.size() ? timers_[slot] : nullptr;
}

void TimerService::Forget(const ui::Form& form) {
  for (size_t slot = 0; slot < timers_.size(); ++slot) {
    if (!timers_[slot] || &timers_[slot]->Owner() != &form) continue;
    Apply(slot, 0);
    timers_[slot] = nullptr;
    std::erase_if(pending_, [&](const auto& p) { return p.first == slot; });
  }
}

void TimerService::Apply(size_t slot, UINT interval) {
  const UINT_PTR id = kFirstTimerId + slot;
  if (interval == 0) {
    if (running_[slot]) KillTimer(target_.Handle(), id);
  } else {
    // SetTimer on a running timer starts its period anew.
    SetTimer(target_.Handle(), id, interval, nullptr);
  }
  running_[slot] = interval;
}

void TimerService::Flush() {
  flushing_.swap(pending_);
  for (const auto& [slot, interval] : flushing_) {
    // A tick stops its timer and starts it again: that leaves nothing to do.
    if (interval != running_[slot] && timers_[slot]) Apply(slot, interval);
  }
  flushing_.clear();
}

}  // namespace platform::win32
