// Per-monitor DPI: the system's metrics, message font and window sizes at a
// DPI, and the conversions between the model's twips and a DPI's pixels.
#pragma once

#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace platform::win32 {

inline constexpr int kDefaultDpi = 96;

inline int ToPixels(int dpi, int twips) { return MulDiv(twips, dpi, 1440); }
inline int ToTwips(int dpi, int pixels) { return MulDiv(pixels, 1440, dpi); }

// Where a window of `size` stands centred on the screen.
POINT Centred(SIZE size);

// The per-monitor DPI calls of Windows 10 (1607 and later), bound at run time;
// older systems have one DPI for all monitors and get the system's metrics.
class DpiApi {
 public:
  // `substitute`: a test's stand-in for GetDpiForWindow.
  explicit DpiApi(WindowDpiQuery substitute);

  // The DPI of the primary monitor when the program started; the notification area's.
  int SystemDpi() const { return system_dpi_; }
  int WindowDpi(HWND window, int fallback) const;
  int Metric(int index, int dpi) const;
  // The dialog font of the system at `dpi`.
  HFONT MessageFont(int dpi) const;
  SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, int dpi) const;

 private:
  WindowDpiQuery substitute_;
  int system_dpi_ = kDefaultDpi;
  UINT(WINAPI* get_dpi_for_window_)(HWND) = nullptr;
  int(WINAPI* get_system_metrics_)(int, UINT) = nullptr;
  BOOL(WINAPI* system_parameters_)(UINT, UINT, void*, UINT, UINT) = nullptr;
  BOOL(WINAPI* adjust_window_rect_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

}  // namespace platform::win32
