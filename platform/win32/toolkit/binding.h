// The Win32 binding of the toolkit model. Each loaded form that has a native
// window has a FormWindow, which owns that window, its controls' windows and
// what they draw with; the services they share are the binding's. Each file
// holds one class or one service:
//   binding        the binding itself, whose own message-only window receives
//                  the timers and the posted tasks
//   services       the services, in the order they are made
//   native_window  the window-procedure thunk of the binding's window classes
//   form_window    a form's top-level window and its messages
//   controls       a control's window and the user's input
//   layout         a form's layout for its window's DPI
//   dpi            the system's per-monitor DPI calls
//   art            the logo and the icons
//   colours        the backgrounds and high contrast
//   accessibility  names for screen readers
//   show_state     the launcher's show state
//   timers, tasks  the model's timers, the tasks run after an event
//   event_loop     events, failures and message boxes
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/toolkit/native_window.h"
#include "platform/win32/toolkit/services.h"
#include "platform/win32/win32_platform.h"
#include "ui/toolkit.h"

namespace platform::win32 {

class FormWindow;

class Win32Binding : public ui::Binding, private NativeWindow {
 public:
  explicit Win32Binding(const SystemQueries& queries);
  ~Win32Binding() override;

  void Load(ui::Form&) override {}
  void Unload(ui::Form& form) override;
  void MakeWindow(ui::Form& form) override;
  void MakeControlWindows(ui::Form& form) override;
  void Update(ui::Form& form, ui::FormChange change) override;
  void Update(ui::Control& control, ui::ControlChange change) override;
  void Repaint(ui::Form& form) override;
  void Schedule(ui::Timer& timer) override { services_.timers.Schedule(timer); }
  void Post(std::function<void()> task) override { services_.tasks.Post(std::move(task)); }
  void RunLoop() override { services_.events.Run(); }
  void EndRun() override { services_.events.End(); }
  void ShowMessage(const ui::Form* owner, const std::string& text, const std::string& caption,
                   ui::MessageIcon icon) override;
  void RaiseMessageBox() override { services_.events.RaiseMessageBox(); }
  ui::Resource LoadArt(ui::EmbeddedArt art) override { return services_.art.Load(art); }
  int OuterWidth(const ui::Form& form) override { return ToTwips(DpiOf(form), OuterSize(form).cx); }
  int OuterHeight(const ui::Form& form) override {
    return ToTwips(DpiOf(form), OuterSize(form).cy);
  }
  int ScreenWidth(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CXSCREEN));
  }
  int ScreenHeight(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CYSCREEN));
  }
  void* NativeHandle(const ui::Form& form) const override;

 private:
  // The binding's own window: the timers' ticks and the posted tasks.
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnFailure() override { services_.events.ReportFailure(); }

  // The form's window; null while it has none.
  FormWindow* WindowOf(const ui::Form& form) const;
  int DpiOf(const ui::Form& form) const;
  SIZE OuterSize(const ui::Form& form) const;

  BindingServices services_;
  std::vector<std::unique_ptr<FormWindow>> windows_;
};

}  // namespace platform::win32
