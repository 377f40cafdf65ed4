// The floor that our program is measured against: one shown window, one
// notification icon, a 500 ms timer that does nothing, and a message loop.
// Built with BASELINE_STYLED, it also takes our manifest and the common controls 6,
// to tell their cost from ours; with BASELINE_PROBE its timer makes the one probe
// that a supervising program must make, a zero wait on a process handle. With
// BASELINE_PANEL it does both and shows our panel's ten controls, made with plain
// Win32 calls where they stand in our panel: the floor for a program that shows it.
// windows.h must come before shellapi.h and commctrl.h.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

NOTIFYICONDATAW tray_icon{};
HANDLE probed = nullptr;
HBRUSH back_brush = nullptr;
constexpr COLORREF kPanelColor = RGB(240, 233, 208);  // our panel's background

#ifdef BASELINE_PANEL
struct PanelControl {
  const wchar_t* window_class;
  const wchar_t* text;
  DWORD style;
  int left, top, width, height;  // in twips, 15 to a pixel at 96 dpi
};

// Our panel's controls, in its order and its places.
constexpr PanelControl kPanel[] = {
    {L"BUTTON", L"Start programme minimized", WS_TABSTOP | BS_3STATE, 2280, 1560, 3135, 315},
    {L"STATIC", L"TCP port of Webserver", SS_LEFT | SS_NOPREFIX, 120, 240, 2175, 255},
    {L"BUTTON", L"Quit", WS_TABSTOP | BS_PUSHBUTTON, 8280, 1920, 1215, 315},
    {L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 120, 1920, 1695, 315 + 1800},
    {L"BUTTON", L"Start", WS_TABSTOP | BS_PUSHBUTTON, 2280, 720, 1455, 375},
    {L"BUTTON", L"Stop", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 3960, 720, 1455, 375},
    {L"BUTTON", L"Start webserver automatically", WS_TABSTOP | BS_3STATE, 2280, 1200, 3015, 315},
    {L"EDIT", L"80", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 2280, 240, 3135, 375},
    {L"STATIC", L"WebServer", SS_LEFT | SS_NOPREFIX, 120, 720, 2175, 255},
    {L"STATIC", L"", SS_BITMAP, 6840, 120, 2595, 1530},
};

void AddPanel(HWND window, HINSTANCE instance) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  for (const PanelControl& c : kPanel) {
    const DWORD ex_style = c.window_class[0] == L'E' ? WS_EX_CLIENTEDGE : 0;
    HWND control = CreateWindowExW(ex_style, c.window_class, c.text,
                                   WS_CHILD | WS_VISIBLE | c.style, c.left / 15, c.top / 15,
                                   c.width / 15, c.height / 15, window, nullptr, instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (c.window_class[0] == L'C') {
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"English"));
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Deutsch"));
      SendMessageW(control, CB_SETCURSEL, 0, 0);
    } else if (c.style & SS_BITMAP) {
      // A picture of the logo's size.
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = c.width / 15;
      info.bmiHeader.biHeight = -(c.height / 15);
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      void* bits = nullptr;
      HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    }
  }
}
#endif

LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (probed) WaitForSingleObject(probed, 0);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (!back_brush) return DefWindowProcW(window, message, wparam, lparam);
      SetBkColor(reinterpret_cast<HDC>(wparam), kPanelColor);
      return reinterpret_cast<LRESULT>(back_brush);
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
#if defined BASELINE_PROBE || defined BASELINE_PANEL
  // Itself: a process that runs as long as the probe is made.
  probed = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
#endif
#if defined BASELINE_STYLED || defined BASELINE_PANEL
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
#ifdef BASELINE_PANEL
  back_brush = CreateSolidBrush(kPanelColor);
  window_class.hbrBackground = back_brush;
#endif
  window_class.lpszClassName = L"BaselineWin32";
  if (!RegisterClassExW(&window_class)) return 1;

  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, 400, 300};
#ifdef BASELINE_PANEL
  frame = {0, 0, 9600 / 15, 2355 / 15};  // our panel's client area
  AdjustWindowRectEx(&frame, style, FALSE, 0);
#endif
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"baseline_win32", style,
                                CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
#ifdef BASELINE_PANEL
  AddPanel(window, instance);
#endif
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
