// Per-monitor DPI: the form's size and place for its monitor's scale, and its
// layout anew from its twips when that scale changes.
#include "platform/win32/system_dlls.h"
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

namespace {

WINDOWPLACEMENT WindowPlacementOf(HWND window) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);
  return placement;
}

}  // namespace

DpiApi::DpiApi() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  BindLate(user32, "GetDpiForWindow", get_dpi_for_window);
  BindLate(user32, "GetSystemMetricsForDpi", get_system_metrics);
  BindLate(user32, "SystemParametersInfoForDpi", system_parameters);
  BindLate(user32, "AdjustWindowRectExForDpi", adjust_window_rect);
}

int DpiApi::WindowDpi(HWND window, int fallback) const {
  const UINT dpi = substitute           ? substitute(window)
                   : get_dpi_for_window ? get_dpi_for_window(window)
                                        : 0;
  return dpi ? static_cast<int>(dpi) : fallback;
}

int DpiApi::Metric(int index, int dpi, int system_dpi) const {
  if (get_system_metrics) return get_system_metrics(index, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(index), dpi, system_dpi);
}

HFONT DpiApi::MessageFont(int dpi, int system_dpi) const {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (system_parameters && system_parameters(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                             static_cast<UINT>(dpi)))
    return CreateFontIndirectW(&metrics.lfMessageFont);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, system_dpi);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

SIZE DpiApi::OuterSize(SIZE client, DWORD style, DWORD ex_style, int dpi) const {
  RECT r{0, 0, client.cx, client.cy};
  if (!adjust_window_rect ||
      !adjust_window_rect(&r, style, FALSE, ex_style, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
  return {r.right - r.left, r.bottom - r.top};
}

SIZE Win32Binding::OuterSizePx(const ui::Form& form, int dpi) const {
  return dpi_api_.OuterSize({ToPixels(dpi, form.ClientWidth()), ToPixels(dpi, form.ClientHeight())},
                            kFormStyle, kFormExStyle, dpi);
}

POINT Centred(SIZE size) {
  return {(GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2};
}

void Win32Binding::FollowWindowDpi(FormPeer& peer) {
  const int dpi = dpi_api_.WindowDpi(peer.window, peer.dpi);
  if (dpi == peer.dpi) return;
  ApplyDpi(peer, dpi);
  const SIZE size = OuterSizePx(*peer.form, dpi);
  const POINT at = Centred(size);
  if (IsIconic(peer.window)) {
    SetNormalRect(peer, {at.x, at.y, at.x + size.cx, at.y + size.cy});
    return;
  }
  ModelPushGuard pushing(peer);
  SetWindowPos(peer.window, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea(peer);
}

WorkAreaOffset Win32Binding::WorkAreaOffsetOf(HWND window) const {
  if (queries_.work_area_offset) return queries_.work_area_offset(window);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return {};
  return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

void Win32Binding::SetNormalRect(FormPeer& peer, const RECT& rect) {
  WINDOWPLACEMENT placement = WindowPlacementOf(peer.window);
  // The placement is in workspace coordinates: from the work area's corner.
  const WorkAreaOffset work = WorkAreaOffsetOf(peer.window);
  placement.rcNormalPosition = rect;
  OffsetRect(&placement.rcNormalPosition, -work.x, -work.y);
  placement.flags = 0;
  placement.showCmd = IsWindowVisible(peer.window) ? SW_SHOWMINNOACTIVE : SW_HIDE;
  ModelPushGuard pushing(peer);
  SetWindowPlacement(peer.window, &placement);
}

void Win32Binding::FitClientArea(FormPeer& peer) {
  RECT client, outer;
  GetClientRect(peer.window, &client);
  const int dx = ToPixels(peer.dpi, peer.form->ClientWidth()) - client.right;
  const int dy = ToPixels(peer.dpi, peer.form->ClientHeight()) - client.bottom;
  if (dx == 0 && dy == 0) return;
  GetWindowRect(peer.window, &outer);
  SetWindowPos(peer.window, nullptr, outer.left - dx / 2, outer.top - dy / 2,
               outer.right - outer.left + dx, outer.bottom - outer.top + dy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Binding::ApplyDpi(FormPeer& peer, int dpi) {
  ModelPushGuard pushing(peer);
  peer.dpi = dpi;
  UniqueFont old_font = std::move(peer.font);
  peer.font.Reset(dpi_api_.MessageFont(dpi, system_dpi_));
  for (auto& control : peer.form->Controls()) {
    if (!PeerOf(*control)) continue;
    PlaceControl(peer, *control);
    if (auto* image = dynamic_cast<ui::Image*>(control.get())) RenderPicture(*image);
  }
  SetWindowIcons(peer);
}

void Win32Binding::OnDpiChanged(FormPeer& peer, int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  ApplyDpi(peer, dpi);
  if (IsIconic(peer.window)) {
    // Minimised into the notification area: the size it comes back with.
    const RECT normal = WindowPlacementOf(peer.window).rcNormalPosition;
    const WorkAreaOffset work = WorkAreaOffsetOf(peer.window);
    const POINT at{normal.left + work.x, normal.top + work.y};
    const SIZE size = OuterSizePx(*peer.form, dpi);
    SetNormalRect(peer, {at.x, at.y, at.x + size.cx, at.y + size.cy});
    return;
  }
  SetWindowPos(peer.window, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea(peer);
  InvalidateRect(peer.window, nullptr, TRUE);
}

}  // namespace platform::win32
