// Factories of the Windows backend; the header itself needs no Windows header.
#pragma once

#include <memory>

#include "platform/declarations.h"
#include "platform/process.h"
#include "ui/toolkit.h"

namespace platform::win32 {

// The DPI the system reports for a window; a test gives the binding that of a
// monitor whose scale is not the system's.
using WindowDpiQuery = unsigned (*)(void* window);

// Real windows and standard controls for the toolkit model; without a query, a
// window's DPI is the system's answer for it.
std::unique_ptr<ui::Binding> MakeBinding(WindowDpiQuery window_dpi = nullptr);

// The processes backend with Winsock taken from `socket_library` (a name in the system
// folder) at the first port check, first with the LoadLibraryExW flags `load_flags` and,
// where the system refuses those, by its full path; MakeProcesses uses ws2_32.dll and
// LOAD_LIBRARY_SEARCH_SYSTEM32.
std::unique_ptr<platform::Processes> MakeProcesses(const wchar_t* socket_library,
                                                   unsigned long load_flags);

// Shell_NotifyIconA.
std::unique_ptr<platform::NotifyArea> MakeNotifyArea();

// Reports a failure that nothing else caught, in a modal box.
void ReportFatal(const char* what);

}  // namespace platform::win32
