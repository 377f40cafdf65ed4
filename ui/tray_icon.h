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

class TrayIcon {
 public:
  TrayIcon(Form& form, platform::NotifyArea& area, platform::NotifyIconRecord& record)
      : form_(form), area_(area), record_(record) {}

  // On a resize: a minimised window hides and its icon is added.
  void MinimiseHandling();
  // An event of the icon: a left-button press brings the window back, centred,
  // and removes the icon. Failures are reported in an "Error" box, but for 401.
  void Callback(int code);
  // The notification area was created anew and has lost every icon.
  void AreaCreated();

 private:
  Form& form_;
  platform::NotifyArea& area_;
  platform::NotifyIconRecord& record_;
};

}  // namespace ui
