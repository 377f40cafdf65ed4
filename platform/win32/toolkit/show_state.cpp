#include "platform/win32/toolkit/show_state.h"

#include <utility>

namespace platform::win32 {

std::optional<int> LauncherShowState::Take() {
  if (std::exchange(used_, true)) return std::nullopt;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) return std::nullopt;
  return startup.wShowWindow;
}

}  // namespace platform::win32
