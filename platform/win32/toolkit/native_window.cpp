#include "platform/win32/toolkit/native_window.h"

#include <utility>

namespace platform::win32 {

NativeWindow::~NativeWindow() { Destroy(); }

NativeWindow* NativeWindow::From(HWND window) {
  // A window of another class may keep anything in its user data.
  if (!window || GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(Procedure))
    return nullptr;
  return reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void NativeWindow::RegisterWindowClass(HINSTANCE instance, const wchar_t* name, HBRUSH background) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background;
  window_class.lpszClassName = name;
  RegisterClassExW(&window_class);
}

bool NativeWindow::Create(DWORD ex_style, const wchar_t* window_class, const wchar_t* text,
                          DWORD style, RECT place, HWND parent, HINSTANCE instance) {
  CreateWindowExW(ex_style, window_class, text, style, place.left, place.top,
                  place.right - place.left, place.bottom - place.top, parent, nullptr, instance,
                  this);
  return window_ != nullptr;
}

void NativeWindow::Detach() {
  if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

void NativeWindow::Destroy() {
  Detach();
  if (HWND window = std::exchange(window_, nullptr)) DestroyWindow(window);
}

LRESULT CALLBACK NativeWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<NativeWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  try {
    result = self->OnMessage(message, wparam, lparam);
  } catch (...) {
    self->OnFailure();
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return result;
}

}  // namespace platform::win32
