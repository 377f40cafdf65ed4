#include "platform/win32/toolkit/show_state.h"

#include <utility>

namespace platform::win32 {

std::optional<int> LauncherShowState::Take() {
  if (std::exchange(used_, true)) return std::nullopt;
  if (query_) {
    const int show = query_();
    return show < 0 ? std::nullopt : std::optional<int>(show);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) return std::nullopt;
  return startup.wShowWindow;
}

void LauncherShowState::Show(HWND window, int command) const {
  if (show_)
    show_(window, command);
  else
    ShowWindow(window, command);
}

}  // namespace platform::win32
