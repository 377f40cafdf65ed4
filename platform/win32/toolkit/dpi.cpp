#include "platform/win32/toolkit/dpi.h"

#include "platform/win32/system_dlls.h"
#include "platform/win32/unique_handles.h"

namespace platform::win32 {

POINT Centred(SIZE size) {
  return {(GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2};
}

DpiApi::DpiApi(WindowDpiQuery substitute) : substitute_(substitute) {
  system_dpi_ = GetDeviceCaps(UniqueWindowDc(nullptr).Get(), LOGPIXELSY);
  if (system_dpi_ <= 0) system_dpi_ = kDefaultDpi;
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  BindLate(user32, "GetDpiForWindow", get_dpi_for_window_);
  BindLate(user32, "GetSystemMetricsForDpi", get_system_metrics_);
  BindLate(user32, "SystemParametersInfoForDpi", system_parameters_);
  BindLate(user32, "AdjustWindowRectExForDpi", adjust_window_rect_);
}

int DpiApi::WindowDpi(HWND window, int fallback) const {
  const UINT dpi = substitute_           ? substitute_(window)
                   : get_dpi_for_window_ ? get_dpi_for_window_(window)
                                         : 0;
  return dpi ? static_cast<int>(dpi) : fallback;
}

int DpiApi::Metric(int index, int dpi) const {
  if (get_system_metrics_) return get_system_metrics_(index, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(index), dpi, system_dpi_);
}

HFONT DpiApi::MessageFont(int dpi) const {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (system_parameters_ && system_parameters_(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                               static_cast<UINT>(dpi)))
    return CreateFontIndirectW(&metrics.lfMessageFont);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, system_dpi_);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

SIZE DpiApi::OuterSize(SIZE client, DWORD style, DWORD ex_style, int dpi) const {
  RECT r{0, 0, client.cx, client.cy};
  if (!adjust_window_rect_ ||
      !adjust_window_rect_(&r, style, FALSE, ex_style, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
  return {r.right - r.left, r.bottom - r.top};
}

}  // namespace platform::win32
