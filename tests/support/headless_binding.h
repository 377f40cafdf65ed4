// A binding without windows: it records what the model asks of the platform and
// runs timers on a manual clock, so that behaviour is tested natively and fast.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace testing_support {

struct ShownMessage {
  std::string text;
  std::string caption;
  ui::MessageIcon icon;
  bool owned;
};

class HeadlessBinding : public ui::Binding {
 public:
  static constexpr int kTwipsPerPixel = 15;
  static constexpr int kFrameTwips = 8 * kTwipsPerPixel;   // each side
  static constexpr int kTitleTwips = 23 * kTwipsPerPixel;  // title bar
  static constexpr int kScreenWidthPx = 1920;
  static constexpr int kScreenHeightPx = 1080;

  // Each step runs when the loop has nothing else to do; the loop ends when
  // EndRun is called or the steps run out.
  void Script(std::vector<std::function<void()>> steps);
  // Moves the manual clock on, raising the timers that fall due on the way.
  void Advance(int64_t ms);
  // Runs posted tasks.
  void Pump();
  int64_t Now() const { return now_; }
  bool Ended() const { return ended_; }
  bool Scheduled(const ui::Timer& timer) const { return due_.count(&timer) != 0; }

  std::vector<ShownMessage> messages;
  // Called while a message box is shown, as a user would see it.
  std::function<void(const ShownMessage&)> on_message;
  std::vector<std::string> loaded_forms;
  // The forms with a native window.
  std::set<const ui::Form*> windows;
  int repaints = 0;
  int updates = 0;
  int raised_boxes = 0;

  // ui::Binding
  void Load(ui::Form& form) override;
  void Unload(ui::Form& form) override;
  void MakeWindow(ui::Form& form) override { windows.insert(&form); }
  void MakeControlWindows(ui::Form&) override {}
  void Update(ui::Form& form, ui::FormChange change) override;
  void Update(ui::Control& control, ui::ControlChange change) override;
  void Repaint(ui::Form& form) override;
  void Schedule(ui::Timer& timer) override;
  void Post(std::function<void()> task) override;
  void RunLoop() override;
  void EndRun() override { ended_ = true; }
  void ShowMessage(const ui::Form* owner, const std::string& text, const std::string& caption,
                   ui::MessageIcon icon) override;
  void RaiseMessageBox() override { ++raised_boxes; }
  ui::Resource LoadArt(ui::EmbeddedArt art) override;
  int OuterWidth(const ui::Form& form) override;
  int OuterHeight(const ui::Form& form) override;
  int ScreenWidth(const ui::Form&) override { return kScreenWidthPx * kTwipsPerPixel; }
  int ScreenHeight(const ui::Form&) override { return kScreenHeightPx * kTwipsPerPixel; }
  void* NativeHandle(const ui::Form& form) const override {
    return windows.count(&form) ? const_cast<ui::Form*>(&form) : nullptr;
  }

  // Art LoadArt hands out; tests may clear them to see a missing picture.
  bool art_available = true;

 private:
  int64_t now_ = 0;
  uint64_t sequence_ = 0;
  bool ended_ = false;
  std::deque<std::function<void()>> posted_;
  std::deque<std::function<void()>> script_;
  // Due time and a sequence number that keeps timers due together in order.
  std::map<const ui::Timer*, std::pair<int64_t, uint64_t>> due_;
};

// Art with a fake handle, as the headless binding loads it.
class FakeArt : public ui::NativeResource {
 public:
  explicit FakeArt(ui::EmbeddedArt art) : art_(art) {}
  void* Handle() const override { return const_cast<ui::EmbeddedArt*>(&art_); }
  ui::EmbeddedArt Art() const { return art_; }

 private:
  ui::EmbeddedArt art_;
};

}  // namespace testing_support
