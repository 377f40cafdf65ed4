// The show state the launcher asked for: a shortcut's "Run: Minimized" or
// "Maximized", a script's hidden start.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/win32/win32_platform.h"

namespace platform::win32 {

// Windows applies the launcher's show state once: to the first ShowWindow with
// SW_SHOWDEFAULT, SW_SHOWNORMAL or SW_SHOW on an unowned window with a caption.
// Left unused, it goes to the first message box, which then opens minimised or
// hidden (a task-modal one hidden strands the user). So the first display uses
// it up.
class LauncherShowState {
 public:
  explicit LauncherShowState(const SystemQueries& queries)
      : query_(queries.launcher_show_state), show_(queries.show_window) {}

  // The launcher's state, the first time it is asked for; nothing after that,
  // nor when the launcher asked for none.
  std::optional<int> Take();
  // ShowWindow, the call the launcher's state goes to.
  void Show(HWND window, int command) const;

 private:
  int (*query_)();
  bool (*show_)(void* window, int command);
  bool used_ = false;
};

}  // namespace platform::win32
