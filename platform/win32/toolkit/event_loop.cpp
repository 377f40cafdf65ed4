// The event loop: the model's handlers run through Dispatch, the failures they
// leave reported, the timers, the tasks posted to run after an event, and the
// message boxes.
#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/binding.h"

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

std::vector<HWND> MessageBoxesOfThisThread() {
  std::vector<HWND> boxes;
  EnumThreadWindows(GetCurrentThreadId(), CollectMessageBox, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

void Win32Binding::ReportFailure() {
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

// --- Timers ---

void Win32Binding::Schedule(ui::Timer& timer) {
  FormPeer* peer = PeerOf(timer.Owner());
  if (peer && timer.Enabled()) peer = &EnsureWindow(timer.Owner());
  if (!peer || !peer->window) return;
  const auto& timers = timer.Owner().Timers();
  const auto index =
      std::find_if(timers.begin(), timers.end(), [&](const auto& t) { return t.get() == &timer; }) -
      timers.begin();
  const TimerKey key{peer->window, kFirstTimerId + static_cast<UINT_PTR>(index)};
  const UINT interval = timer.Enabled() ? static_cast<UINT>(std::max(timer.Interval(), 1)) : 0;
  if (dispatch_depth_ == 0) return ApplyTimer(key, interval);
  const auto pending = std::find_if(pending_timers_.begin(), pending_timers_.end(),
                                    [&](const auto& p) { return p.first == key; });
  if (pending != pending_timers_.end())
    pending->second = interval;
  else
    pending_timers_.emplace_back(key, interval);
}

void Win32Binding::ApplyTimer(TimerKey key, UINT interval) {
  if (interval == 0) {
    KillTimer(key.first, key.second);
    running_timers_.erase(key);
  } else {
    // SetTimer on a running timer starts its period anew.
    SetTimer(key.first, key.second, interval, nullptr);
    running_timers_[key] = interval;
  }
}

void Win32Binding::FlushTimers() {
  flushing_timers_.swap(pending_timers_);
  for (const auto& [key, interval] : flushing_timers_) {
    const auto running = running_timers_.find(key);
    const UINT now = running == running_timers_.end() ? 0 : running->second;
    // A tick stops its timer and starts it again: that leaves nothing to do. A window
    // destroyed meanwhile has already dropped its changes at WM_NCDESTROY.
    if (interval != now) ApplyTimer(key, interval);
  }
  flushing_timers_.clear();
}

void Win32Binding::ForgetTimers(HWND window) {
  std::erase_if(running_timers_, [&](const auto& t) { return t.first.first == window; });
  std::erase_if(pending_timers_, [&](const auto& t) { return t.first.first == window; });
}

// --- Posted tasks and the loop ---

void Win32Binding::Post(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  PostMessageW(task_window_, kRunPostedTasks, 0, 0);
}

void Win32Binding::RunPostedTasks() {
  while (!tasks_.empty()) {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    Dispatch(task);
  }
}

LRESULT CALLBACK Win32Binding::TaskProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kRunPostedTasks) {
    if (auto* self = reinterpret_cast<Win32Binding*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
      self->RunPostedTasks();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Binding::RunLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Only keys take the dialog-key handling; it would dispatch the rest as below.
    // The test for our forms asks the server, so ticks and paints skip it.
    const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
    HWND top = key ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && GetPropW(top, kFormClass) && IsDialogMessageW(top, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// --- Message boxes ---

void Win32Binding::ShowMessage(const ui::Form* owner, const std::string& text,
                               const std::string& caption, ui::MessageIcon icon) {
  FlushTimers();  // a timer stopped by this event must not fire inside the box's loop
  HWND owner_window = owner && PeerOf(*owner) ? PeerOf(*owner)->window : nullptr;
  // A box with no window to own it (the panel hidden in the notification area)
  // may not take the foreground; on top of all windows it is seen all the same.
  const UINT flags = MB_OK | MB_SETFOREGROUND |
                     (icon == ui::MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION) |
                     (owner_window ? 0 : MB_TASKMODAL | MB_TOPMOST);
  MessageBoxW(owner_window, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

void Win32Binding::RaiseMessageBox() {
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
