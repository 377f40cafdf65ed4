// The native side of a loaded form: its top-level window, its controls'
// windows, its brush and its layout for the window's DPI, all destroyed with it.
#pragma once

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/toolkit/controls.h"
#include "platform/win32/toolkit/layout.h"
#include "platform/win32/toolkit/native_window.h"
#include "platform/win32/toolkit/services.h"
#include "platform/win32/unique_handles.h"
#include "ui/toolkit.h"

namespace platform::win32 {

inline constexpr wchar_t kFormClass[] = L"DraveloWebMonitorForm";
inline constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
inline constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

class FormWindow : public NativeWindow {
 public:
  // Registers the window class of the forms.
  static void Register(HINSTANCE instance);
  // Our form of `window`, if it is one.
  static FormWindow* From(HWND window);

  // Makes the window, hidden, centred at the DPI of the primary monitor;
  // ToolkitError 7 when the system refuses it.
  FormWindow(BindingServices& services, ui::Form& form);
  ~FormWindow() override;

  ui::Form& Model() const { return form_; }
  BindingServices& Services() const { return services_; }
  const FormLayout& Layout() const { return layout_; }
  FormLayout& Layout() { return layout_; }
  const std::vector<std::unique_ptr<ControlWindow>>& Controls() const { return controls_; }
  ControlWindow* Find(const ui::Control& control) const;
  HBRUSH Brush() const { return brush_.Get(); }

  // Makes its controls' windows, in tab order, if they have none yet.
  void MakeControlWindows();
  // Pushes a change of the model into the window.
  void Push(ui::FormChange change);
  void Repaint();
  SIZE OuterSize() const;

  // Set while the binding pushes the model's values, so that the notifications
  // they cause are not taken for the user's input.
  bool Pushing() const { return pushing_; }

 private:
  friend class ModelPushGuard;

  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnFailure() override { services_.events.ReportFailure(); }
  void OnCommand(int id, int code);
  void OnSize(WPARAM kind);
  void OnMove();
  void OnEndSession();
  void OnActivate(WPARAM wparam);
  void OnNotifyIcon(LPARAM lparam);
  void OnNotifyAreaCreated();
  void OnClose();
  LRESULT OnControlColour(HDC dc, HWND control);
  // The system's colours, or its high-contrast setting, changed.
  void OnSystemColours(UINT message, WPARAM wparam, LPARAM lparam);
  void RestoreFocus();

  void Show(int command) { services_.launcher.Show(Handle(), command); }
  void ShowNormal();
  void ShowMinimised();
  // Uses up the launcher's show state at the first display, and leaves the
  // window normal, or minimised when `minimised`.
  void UseLauncherShowState(int launch, bool minimised);

  BindingServices& services_;
  ui::Form& form_;
  FormLayout layout_;
  UniqueBrush brush_;
  // The controls with windows; they get them at the form's first display.
  std::vector<std::unique_ptr<ControlWindow>> controls_;
  // The control that had the keyboard focus when the window was last deactivated.
  HWND focus_ = nullptr;
  bool pushing_ = false;
};

// Marks the pushes of the model's values into the native windows.
class ModelPushGuard {
 public:
  explicit ModelPushGuard(FormWindow& window)
      : window_(window), previous_(std::exchange(window.pushing_, true)) {}
  ~ModelPushGuard() { window_.pushing_ = previous_; }
  ModelPushGuard(const ModelPushGuard&) = delete;
  ModelPushGuard& operator=(const ModelPushGuard&) = delete;

 private:
  FormWindow& window_;
  bool previous_;
};

}  // namespace platform::win32
