// The Windows program's entry: the real binding, process and notification-area
// backends, and the system's language.
#include <exception>

#include "app/lifecycle.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/win32/win32_platform.h"

int main() {
  try {
    auto binding = platform::win32::MakeBinding();
    auto processes = platform::MakeProcesses();
    auto notify_area = platform::win32::MakeNotifyArea();
    app::Monitor monitor(app::Environment{*binding, *processes, *notify_area,
                                          platform::SystemDefaultLangId(), {}});
    monitor.Run();
  } catch (const std::exception& failure) {
    platform::win32::ReportFatal(failure.what());
    return 1;
  }
  return 0;
}
