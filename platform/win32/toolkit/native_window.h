// A window of one of the binding's own classes and its one window procedure,
// which reaches the object through GWLP_USERDATA; that slot holds nothing else.
#pragma once

#include <windows.h>

namespace platform::win32 {

// Marks a top-level window whose keys take the dialog-key handling (Tab, the
// arrow keys) in the message loop.
inline constexpr wchar_t kDialogKeysProp[] = L"DraveloWebMonitorDialogKeys";

// Owns its window: the object's end destroys it. A window that the system
// destroys first leaves the object without one.
class NativeWindow {
 public:
  NativeWindow(const NativeWindow&) = delete;
  NativeWindow& operator=(const NativeWindow&) = delete;

  HWND Handle() const { return window_; }
  // Our object of `window`, if it is a window of one of our classes.
  static NativeWindow* From(HWND window);

 protected:
  NativeWindow() = default;
  virtual ~NativeWindow();

  // Registers a window class whose windows are served by the one procedure.
  static void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, HBRUSH background);
  // Creates the window; false when the system refuses it.
  bool Create(DWORD ex_style, const wchar_t* window_class, const wchar_t* text, DWORD style,
              RECT place, HWND parent, HINSTANCE instance);
  // No message reaches the object any more; the window stays until its end.
  // The first step of a derived object's end, before its members go.
  void Detach();
  // Destroys the window, detached first.
  void Destroy();

  virtual LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) = 0;
  // A failure left OnMessage: reports it; nothing unwinds through the system.
  virtual void OnFailure() = 0;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
};

}  // namespace platform::win32
