#include "platform/win32/toolkit/binding.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/system_dlls.h"
#include "platform/win32/toolkit/form_window.h"

namespace platform::win32 {

namespace {

inline constexpr wchar_t kEventsClass[] = L"DraveloWebMonitorEvents";

}  // namespace

Win32Binding::Win32Binding(const SystemQueries& queries) : services_(queries, *this) {
  LoadCommonControls(ICC_STANDARD_CLASSES);
  FormWindow::Register(services_.instance);
  RegisterWindowClass(services_.instance, kEventsClass, nullptr);
  // A message-only window: timers and posted tasks also run inside message boxes' loops.
  Create(0, kEventsClass, L"", 0, {}, HWND_MESSAGE, services_.instance);
}

Win32Binding::~Win32Binding() {
  windows_.clear();
  Destroy();
}

LRESULT Win32Binding::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    if (ui::Timer* timer = services_.timers.Find(wparam))
      services_.events.Dispatch([timer] { timer->Elapsed(); });
    return 0;
  }
  if (message == TaskQueue::kRunPostedTasks) {
    while (std::function<void()> task = services_.tasks.Next()) services_.events.Dispatch(task);
    return 0;
  }
  return DefWindowProcW(Handle(), message, wparam, lparam);
}

FormWindow* Win32Binding::WindowOf(const ui::Form& form) const {
  for (const auto& window : windows_)
    if (&window->Model() == &form) return window->Handle() ? window.get() : nullptr;
  return nullptr;
}

int Win32Binding::DpiOf(const ui::Form& form) const {
  const FormWindow* window = WindowOf(form);
  return window ? window->Layout().Dpi() : services_.dpi.SystemDpi();
}

SIZE Win32Binding::OuterSize(const ui::Form& form) const {
  if (const FormWindow* window = WindowOf(form)) return window->OuterSize();
  return FormOuterSize(services_.dpi, form, services_.dpi.SystemDpi());
}

// A loaded form gets its native window when the model asks for it, at its
// display or before. One that is never shown (the start-up window) costs no
// windows.
void Win32Binding::MakeWindow(ui::Form& form) {
  const bool made = std::any_of(windows_.begin(), windows_.end(),
                                [&](const auto& window) { return &window->Model() == &form; });
  if (!made) windows_.push_back(std::make_unique<FormWindow>(services_, form));
}

void Win32Binding::MakeControlWindows(ui::Form& form) {
  if (FormWindow* window = WindowOf(form)) window->MakeControlWindows();
}

void Win32Binding::Unload(ui::Form& form) {
  services_.timers.Forget(form);
  std::erase_if(windows_, [&](const auto& window) { return &window->Model() == &form; });
}

void Win32Binding::Update(ui::Form& form, ui::FormChange change) {
  if (FormWindow* window = WindowOf(form)) window->Push(change);
}

void Win32Binding::Update(ui::Control& control, ui::ControlChange change) {
  if (FormWindow* window = WindowOf(control.Owner()))
    if (ControlWindow* control_window = window->Find(control)) control_window->Push(change);
}

void Win32Binding::Repaint(ui::Form& form) {
  if (FormWindow* window = WindowOf(form)) window->Repaint();
}

void Win32Binding::ShowMessage(const ui::Form* owner, const std::string& text,
                               const std::string& caption, ui::MessageIcon icon) {
  const FormWindow* window = owner ? WindowOf(*owner) : nullptr;
  services_.events.ShowMessage(window ? window->Handle() : nullptr, text, caption, icon);
}

void* Win32Binding::NativeHandle(const ui::Form& form) const {
  const FormWindow* window = WindowOf(form);
  return window ? window->Handle() : nullptr;
}

std::unique_ptr<ui::Binding> MakeBinding(const SystemQueries& queries) {
  return std::make_unique<Win32Binding>(queries);
}

}  // namespace platform::win32
