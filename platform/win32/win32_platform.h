// Factories of the Windows backend; the header itself needs no Windows header.
#pragma once

#include <memory>

#include "platform/declarations.h"
#include "platform/process.h"
#include "ui/toolkit.h"

namespace platform::win32 {

// The DPI the system reports for a window.
using WindowDpiQuery = unsigned (*)(void* window);

// The offset of the top left corner of a monitor's work area from the
// monitor's own: a taskbar at the top or the left moves it.
struct WorkAreaOffset {
  int x = 0, y = 0;
};

// What the binding asks the system, each answer replaceable by a test's, so
// that a test can give what this desktop does not have: a monitor whose scale
// is not the system's, a high-contrast theme, a taskbar. Null: the system's
// own answer.
struct SystemQueries {
  WindowDpiQuery window_dpi = nullptr;
  // Whether a high-contrast theme is on.
  bool (*high_contrast)() = nullptr;
  // The work area of the monitor that holds the window.
  WorkAreaOffset (*work_area_offset)(void* window) = nullptr;
  // The launcher's show state (STARTUPINFO's wShowWindow); -1 for none.
  int (*launcher_show_state)() = nullptr;
  // ShowWindow. Windows gives the launcher's show state to its first call that
  // shows a window normally; Wine does not, so a test does what Windows would.
  bool (*show_window)(void* window, int command) = nullptr;
  // Puts a name for screen readers on a window, or takes it off when empty,
  // through the system's annotation service; Wine's is a stub.
  void (*annotate_name)(void* window, const wchar_t* name) = nullptr;
};

// Real windows and standard controls for the toolkit model.
std::unique_ptr<ui::Binding> MakeBinding(const SystemQueries& queries = {});

// GetExtendedTcpTable's own type (its table class TCP_TABLE_OWNER_PID_LISTENER): a
// test gives a table of its own, as Wine names no owner of any socket.
using TcpTableQuery = unsigned long(__stdcall*)(void* table, unsigned long* size, int order,
                                                unsigned long family, int table_class,
                                                unsigned long reserved);

// The processes backend with Winsock taken from `socket_library` (a name in the system
// folder) at the first port check, first with the LoadLibraryExW flags `load_flags` and,
// where the system refuses those, by its full path, and the listeners' owners from
// `tcp_table`, or from the system's when it is null; MakeProcesses uses ws2_32.dll and
// LOAD_LIBRARY_SEARCH_SYSTEM32.
std::unique_ptr<platform::Processes> MakeProcesses(const wchar_t* socket_library,
                                                   unsigned long load_flags,
                                                   TcpTableQuery tcp_table = nullptr);

// Shell_NotifyIconA.
std::unique_ptr<platform::NotifyArea> MakeNotifyArea();

// Has the system fail at once where it would wait in a box for the user (a DLL
// not found at a process's start, a drive not ready), as Microsoft advises every
// program. The server inherits the mode: a php.exe that lacks a DLL ends with its
// status, which the program reports, instead of waiting behind a box.
void FailCriticalErrorsQuietly();

// Reports a failure that nothing else caught, in a modal box.
void ReportFatal(const char* what);

}  // namespace platform::win32
