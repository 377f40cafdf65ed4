#include "platform/win32/toolkit/event_loop.h"

#include <cwchar>
#include <exception>

#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/native_window.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

namespace {

BOOL CALLBACK CollectMessageBox(HWND window, LPARAM boxes) {
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (std::wcscmp(cls, L"#32770") == 0)
    reinterpret_cast<std::vector<HWND>*>(boxes)->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> EventLoop::MessageBoxesOfThisThread() {
  std::vector<HWND> boxes;
  EnumThreadWindows(GetCurrentThreadId(), CollectMessageBox, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

void EventLoop::ReportFailure() {
  std::string text = "Unknown failure";
  try {
    throw;
  } catch (const ui::ToolkitError& failure) {
    text = std::to_string(failure.Number()) + "\r\n" + failure.Description();
  } catch (const std::exception& failure) {
    text = failure.what();
  } catch (...) {
  }
  try {
    ShowMessage(nullptr, text, "Error", ui::MessageIcon::Information);
  } catch (...) {
    // Nothing may unwind through the system: on x64 that ends the process.
  }
}

void EventLoop::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Only keys take the dialog-key handling; it would dispatch the rest as below.
    // The test for our forms asks the server, so ticks and paints skip it.
    const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
    HWND top = key ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && GetPropW(top, kDialogKeysProp) && IsDialogMessageW(top, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void EventLoop::ShowMessage(HWND owner, const std::string& text, const std::string& caption,
                            ui::MessageIcon icon) {
  timers_.Flush();  // a timer stopped by this event must not fire inside the box's loop
  // A box with no window to own it (the panel hidden in the notification area)
  // may not take the foreground; on top of all windows it is seen all the same.
  const UINT flags = MB_OK | MB_SETFOREGROUND |
                     (icon == ui::MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION) |
                     (owner ? 0 : MB_TASKMODAL | MB_TOPMOST);
  MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

void EventLoop::RaiseMessageBox() {
  for (HWND box : MessageBoxesOfThisThread()) {
    // Windows hides the boxes of a minimised owner; they come back with it.
    if (!IsWindowVisible(box)) {
      HWND owner = GetWindow(box, GW_OWNER);
      if (!owner || !IsWindowVisible(owner) || IsIconic(owner)) continue;
      ShowWindow(box, SW_SHOWNA);
    }
    SetForegroundWindow(box);
    FLASHWINFO flash{sizeof flash, box, FLASHW_CAPTION, 3, 0};
    FlashWindowEx(&flash);
  }
}

void ReportFatal(const char* what) {
  MessageBoxW(nullptr, Widen(what ? what : "Unknown failure").c_str(), L"Error",
              MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
}

}  // namespace platform::win32
