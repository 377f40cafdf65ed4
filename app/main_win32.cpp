// The Windows program's entry: the real binding, process and notification-area
// backends, and the system's language.
#include <cstdlib>
#include <exception>

#include "app/lifecycle.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/win32_platform.h"

// The C++ runtime's default handler of a failure nothing caught writes its
// demangled type to a standard error that a windowed program does not have;
// this one ends the process as it does, without linking in the demangler.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int main() {
  // Before anything loads a DLL by name.
  platform::win32::LoadDllsFromSystemFolderOnly();
  platform::win32::FailCriticalErrorsQuietly();
  try {
    auto binding = platform::win32::MakeBinding();
    auto processes = platform::MakeProcesses();
    auto notify_area = platform::win32::MakeNotifyArea();
    app::Monitor monitor(
        app::Environment{*binding, *processes, *notify_area, platform::SystemDefaultLangId(), {}});
    monitor.Run();
  } catch (const std::exception& failure) {
    platform::win32::ReportFatal(failure.what());
    return 1;
  }
  return 0;
}
