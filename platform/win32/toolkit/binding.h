// The Win32 binding of the toolkit model, shared by its files: the native peers
// of forms and controls, the pixel and twip conversions, and the one class.
// Each file holds one concern: dpi.cpp, art.cpp, controls.cpp, colours.cpp,
// accessibility.cpp, event_loop.cpp and form.cpp.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/toolkit/event_loop.h"
#include "platform/win32/toolkit/native_window.h"
#include "platform/win32/toolkit/tasks.h"
#include "platform/win32/toolkit/timers.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_platform.h"
#include "ui/toolkit.h"

namespace platform::win32 {

inline constexpr wchar_t kFormClass[] = L"DraveloWebMonitorForm";
inline constexpr wchar_t kEventsClass[] = L"DraveloWebMonitorEvents";
inline constexpr int kFirstControlId = 1000;
inline constexpr int kDefaultDpi = 96;
inline constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
inline constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

inline int ToPixels(int dpi, int twips) { return MulDiv(twips, dpi, 1440); }
inline int ToTwips(int dpi, int pixels) { return MulDiv(pixels, 1440, dpi); }
inline COLORREF ToColorRef(ui::Color c) { return RGB(c.r, c.g, c.b); }

// The per-monitor DPI calls of Windows 10 (1607 and later), bound at run time;
// older systems have one DPI for all monitors and get the system's metrics.
struct DpiApi {
  DpiApi();
  int WindowDpi(HWND window, int fallback) const;
  int Metric(int index, int dpi, int system_dpi) const;
  // The dialog font of the system at `dpi`.
  HFONT MessageFont(int dpi, int system_dpi) const;
  SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, int dpi) const;

  // A test's stand-in for GetDpiForWindow.
  WindowDpiQuery substitute = nullptr;
  UINT(WINAPI* get_dpi_for_window)(HWND) = nullptr;
  int(WINAPI* get_system_metrics)(int, UINT) = nullptr;
  BOOL(WINAPI* system_parameters)(UINT, UINT, void*, UINT, UINT) = nullptr;
  BOOL(WINAPI* adjust_window_rect)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

// Where a window of `size` stands centred on the screen.
POINT Centred(SIZE size);

// --- Peers: the native side of forms and controls ---

struct ControlPeer {
  HWND window = nullptr;
  int id = 0;
  UniqueBrush brush;
  UniqueBitmap bitmap;
};

struct FormPeer {
  ui::Form* form = nullptr;
  HWND window = nullptr;
  // The DPI of the window's monitor, and the font and icons made for it.
  int dpi = kDefaultDpi;
  UniqueFont font;
  UniqueIcon big_icon;
  UniqueIcon small_icon;
  UniqueBrush brush;
  // The controls with windows; they get them at the form's first display.
  std::map<int, ui::Control*> controls;
  // The control that had the keyboard focus when the window was last deactivated.
  HWND focus = nullptr;
  // Set while the binding pushes the model's values, so that the notifications
  // they cause are not taken for the user's input.
  bool pushing = false;
};

// A control's place at its form's DPI.
struct PixelBounds {
  int left, top, width, height;
};

inline FormPeer* PeerOf(const ui::Form& form) { return static_cast<FormPeer*>(form.native); }
inline ControlPeer* PeerOf(const ui::Control& control) {
  return static_cast<ControlPeer*>(control.native);
}

// Marks the pushes of the model's values into the native windows.
class ModelPushGuard {
 public:
  explicit ModelPushGuard(FormPeer& peer) : peer_(peer), previous_(peer.pushing) {
    peer.pushing = true;
  }
  ~ModelPushGuard() { peer_.pushing = previous_; }
  ModelPushGuard(const ModelPushGuard&) = delete;
  ModelPushGuard& operator=(const ModelPushGuard&) = delete;

 private:
  FormPeer& peer_;
  bool previous_;
};

std::wstring WindowText(HWND window);

// The binding's own message-only window receives its timers and posted tasks.
class Win32Binding : public ui::Binding, private NativeWindow {
 public:
  explicit Win32Binding(const SystemQueries& queries);
  ~Win32Binding() override;

  void Load(ui::Form& form) override;
  void Unload(ui::Form& form) override;
  void Update(ui::Form& form, ui::FormChange change) override;
  void Update(ui::Control& control, ui::ControlChange change) override;
  void Repaint(ui::Form& form) override;
  void Schedule(ui::Timer& timer) override { timers_.Schedule(timer); }
  void Post(std::function<void()> task) override { tasks_.Post(std::move(task)); }
  void RunLoop() override { events_.Run(); }
  void EndRun() override { events_.End(); }
  void ShowMessage(const ui::Form* owner, const std::string& text, const std::string& caption,
                   ui::MessageIcon icon) override;
  void RaiseMessageBox() override { events_.RaiseMessageBox(); }
  ui::Resource LoadArt(ui::EmbeddedArt art) override;
  int OuterWidth(const ui::Form& form) override;
  int OuterHeight(const ui::Form& form) override;
  int ScreenWidth(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CXSCREEN));
  }
  int ScreenHeight(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CYSCREEN));
  }
  void MakeWindow(ui::Form& form) override { EnsureWindow(form); }
  void MakeControlWindows(ui::Form& form) override { CreateChildren(EnsureWindow(form)); }
  void* NativeHandle(const ui::Form& form) const override {
    return PeerOf(form) ? PeerOf(form)->window : nullptr;
  }

 private:
  // form.cpp: the window class, the window and its messages.
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnFormMessage(FormPeer& peer, UINT message, WPARAM wparam, LPARAM lparam);
  void OnSize(FormPeer& peer, WPARAM kind);
  void OnMove(FormPeer& peer);
  void OnEndSession(FormPeer& peer);
  void OnActivate(FormPeer& peer, WPARAM wparam);
  void RestoreFocus(FormPeer& peer);
  void ShowNormal(FormPeer& peer);
  void ShowMinimised(FormPeer& peer);
  // The launcher's show state at the first display; nothing after it.
  std::optional<WORD> TakeLauncherShowState();
  // The form's peer with its native window, which is created now if it has none yet.
  FormPeer& EnsureWindow(const ui::Form& form);

  // dpi.cpp: the layout for the window's monitor.
  SIZE OuterSizePx(const ui::Form& form, int dpi) const;
  void OnDpiChanged(FormPeer& peer, int dpi, const RECT& suggested);
  // Lays the form out again, at its size and centred, when its window's DPI is
  // not the one it was laid out for: a window made on a monitor whose scale is
  // not the system's gets no WM_DPICHANGED, nor one whose scale changed while
  // it was hidden.
  void FollowWindowDpi(FormPeer& peer);
  // The place a minimised window comes back to, `rect` in screen coordinates.
  void SetNormalRect(FormPeer& peer, const RECT& rect);
  WorkAreaOffset WorkAreaOffsetOf(HWND window) const;
  // Where the frame does not grow with the DPI as assumed (Windows 8.1, Wine),
  // the window is made to fit its client area exactly, about the same centre.
  void FitClientArea(FormPeer& peer);
  // Lays the form out for `dpi` from its twips: controls, fonts, logo and icons.
  void ApplyDpi(FormPeer& peer, int dpi);
  int DpiOf(const ui::Form& form) const { return PeerOf(form) ? PeerOf(form)->dpi : system_dpi_; }

  // controls.cpp: the child windows, their places and the user's input.
  void CreateChildren(FormPeer& peer);
  void CreateControl(FormPeer& peer, ui::Control& control);
  static PixelBounds BoundsPx(const FormPeer& peer, const ui::Control& control);
  void ApplyFont(FormPeer& peer, ui::Control& control, bool redraw);
  void PlaceControl(FormPeer& peer, ui::Control& control);
  void FitDropDown(FormPeer& peer, ui::Control& control);
  void OnCommand(FormPeer& peer, int id, int code);

  // accessibility.cpp: the control's accessible name for screen readers.
  void NameForScreenReaders(ui::Control& control);

  // art.cpp: the window icons and the logo at the window's DPI.
  void SetWindowIcons(FormPeer& peer);
  HICON LoadAppIcon(int metric_x, int metric_y, int dpi) const;
  void RenderPicture(ui::Image& image);

  // colours.cpp: the backgrounds of the form and its controls, the model's
  // colours or, in a high-contrast theme, the system's.
  LRESULT OnControlColor(FormPeer& peer, HDC dc, HWND control);
  bool OnEraseBackground(FormPeer& peer, HDC dc);
  // The system's colours or its high-contrast setting changed.
  void OnSystemColours(FormPeer& peer);
  bool HighContrast() const;

  // The binding's own window: the timers' ticks and the posted tasks.
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnFailure() override { events_.ReportFailure(); }
  template <class Handler>
  void Dispatch(Handler handler) {
    events_.Dispatch(handler);
  }

  HINSTANCE instance_;
  SystemQueries queries_;
  DpiApi dpi_api_;
  // A high-contrast theme is on: the system's colours replace the model's.
  bool high_contrast_ = false;
  // The DPI of the primary monitor when the program started; the notification area's.
  int system_dpi_ = kDefaultDpi;
  UINT taskbar_created_ = 0;
  // A window has been shown, which used up the launcher's show state.
  bool launch_show_state_used_ = false;
  TimerService timers_{*this};
  TaskQueue tasks_{*this};
  EventLoop events_{timers_};
};

}  // namespace platform::win32
