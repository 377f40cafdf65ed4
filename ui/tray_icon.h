// The notification-area icon that stands in for the minimised main window.
#pragma once

#include <string>

#include "platform/declarations.h"
#include "ui/toolkit.h"

namespace ui {

// Fills the record: the window, icon 1, message, icon and tip, the tip being
// the caption, a NUL and blanks up to the field's 64 characters.
void FillTrayIconData(platform::NotifyIconRecord& record, void* window, void* icon,
                      const std::string& caption);

// While Explorer is busy (at logon), adding the icon can fail or time out; the
// add is then tried again every kAddRetryMs, and after kAddAttempts tries the
// window shows minimised on the taskbar instead, so it is never out of reach.
inline constexpr int kAddRetryMs = 1500;
inline constexpr int kAddAttempts = 40;

class TrayIcon {
 public:
  TrayIcon(Form& form, platform::NotifyArea& area, platform::NotifyIconRecord& record);

  // On a resize: a minimised window hides and its icon is added.
  void MinimiseHandling();
  // An event of the icon: a left-button press, or the icon chosen with the mouse
  // or the keyboard (Enter or Space), brings the window back, centred,
  // and removes the icon, with a box the window owns in front of it; while
  // another box is shown, once that is closed. Failures are reported in
  // an "Error" box, but for 401.
  void Callback(int code);
  // The notification area was created anew and has lost every icon.
  void AreaCreated();

 private:
  // Adds the icon, or has the add tried again while it fails.
  void AddIcon();
  // The icon is there: it takes the keyboard's contract.
  void Added();
  void RetryAdd();
  // No icon: the window shows minimised on the taskbar instead.
  void ShowOnTaskbar();
  // A box is shown that this window does not own: it would come back disabled
  // behind it.
  bool ForeignBoxShown() const;
  bool Hidden() const;

  Form& form_;
  platform::NotifyArea& area_;
  platform::NotifyIconRecord& record_;
  Timer& retry_;
  int attempts_left_ = 0;
  // Added by this object and not removed since.
  bool present_ = false;
};

}  // namespace ui
