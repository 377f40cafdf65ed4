// The floor that our program is measured against: one shown window, one
// notification icon, a 500 ms timer that does nothing, and a message loop.
// Built with BASELINE_STYLED, it also takes our manifest and the common controls 6,
// to tell their cost from ours; with BASELINE_PROBE its timer makes the one probe
// that a supervising program must make, a zero wait on a process handle.
// windows.h must come before shellapi.h and commctrl.h.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

NOTIFYICONDATAW tray_icon{};
HANDLE probed = nullptr;

LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (probed) WaitForSingleObject(probed, 0);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kTimerId);
      Shell_NotifyIconW(NIM_DELETE, &tray_icon);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef BASELINE_PROBE
  // Itself: a process that runs as long as the probe is made.
  probed = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
#endif
#ifdef BASELINE_STYLED
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = BaselineProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = L"BaselineWin32";
  if (!RegisterClassExW(&window_class)) return 1;

  HWND window =
      CreateWindowExW(0, window_class.lpszClassName, L"baseline_win32",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                      CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  tray_icon.cbSize = sizeof tray_icon;
  tray_icon.hWnd = window;
  tray_icon.uID = 1;
  tray_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray_icon.uCallbackMessage = kTrayMessage;
  tray_icon.hIcon = window_class.hIcon;
  lstrcpynW(tray_icon.szTip, L"baseline_win32", ARRAYSIZE(tray_icon.szTip));
  Shell_NotifyIconW(NIM_ADD, &tray_icon);

  SetTimer(window, kTimerId, 500, nullptr);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
