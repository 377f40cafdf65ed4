#include "support/headless_binding.h"

#include <algorithm>
#include <limits>

namespace testing_support {

void HeadlessBinding::Script(std::vector<std::function<void()>> steps) {
  for (auto& step : steps) script_.push_back(std::move(step));
}

void HeadlessBinding::Pump() {
  while (!posted_.empty()) {
    auto task = std::move(posted_.front());
    posted_.pop_front();
    task();
  }
}

void HeadlessBinding::Advance(int64_t ms) {
  const int64_t target = now_ + ms;
  Pump();
  for (;;) {
    auto next = due_.end();
    for (auto it = due_.begin(); it != due_.end(); ++it)
      if (next == due_.end() || it->second < next->second) next = it;
    if (next == due_.end() || next->second.first > target) break;
    auto* timer = const_cast<ui::Timer*>(next->first);
    now_ = next->second.first;
    // A periodic timer falls due again a period later unless its handler resets it.
    next->second = {now_ + std::max(timer->Interval(), 1), ++sequence_};
    timer->Elapsed();
    Pump();
  }
  now_ = target;
}

void HeadlessBinding::RunLoop() {
  while (!ended_) {
    Pump();
    if (ended_ || script_.empty()) break;
    auto step = std::move(script_.front());
    script_.pop_front();
    step();
  }
}

void HeadlessBinding::Load(ui::Form& form) { loaded_forms.push_back(form.Name()); }

void HeadlessBinding::Unload(ui::Form& form) {
  loaded_forms.erase(std::remove(loaded_forms.begin(), loaded_forms.end(), form.Name()),
                     loaded_forms.end());
  for (auto& timer : form.Timers()) due_.erase(timer.get());
  windows.erase(&form);
}

void HeadlessBinding::Update(ui::Form&, ui::FormChange) { ++updates; }
void HeadlessBinding::Update(ui::Control&, ui::ControlChange) { ++updates; }
void HeadlessBinding::Repaint(ui::Form&) { ++repaints; }

void HeadlessBinding::Schedule(ui::Timer& timer) {
  if (timer.Enabled() && timer.Owner().Loaded())
    due_[&timer] = {now_ + std::max(timer.Interval(), 1), ++sequence_};
  else
    due_.erase(&timer);
}

void HeadlessBinding::Post(std::function<void()> task) { posted_.push_back(std::move(task)); }

void HeadlessBinding::ShowMessage(const ui::Form* owner, const std::string& text,
                                  const std::string& caption, ui::MessageIcon icon) {
  messages.push_back({text, caption, icon, owner != nullptr});
  if (on_message) on_message(messages.back());
}

ui::Resource HeadlessBinding::LoadArt(ui::EmbeddedArt art) {
  if (!art_available) return nullptr;
  return std::make_shared<FakeArt>(art);
}

int HeadlessBinding::OuterWidth(const ui::Form& form) {
  return form.ClientWidth() + 2 * kFrameTwips;
}

int HeadlessBinding::OuterHeight(const ui::Form& form) {
  return form.ClientHeight() + 2 * kFrameTwips + kTitleTwips;
}

}  // namespace testing_support
