#include "platform/win32/toolkit/layout.h"

#include <utility>

#include "platform/win32/toolkit/form_window.h"

namespace platform::win32 {

namespace {

WINDOWPLACEMENT WindowPlacementOf(HWND window) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);
  return placement;
}

}  // namespace

FormLayout::FormLayout(FormWindow& form)
    : form_(form),
      dpi_(form.Services().dpi.SystemDpi()),
      font_(form.Services().dpi.MessageFont(dpi_)) {}

SIZE FormOuterSize(const DpiApi& api, const ui::Form& form, int dpi) {
  return api.OuterSize({ToPixels(dpi, form.ClientWidth()), ToPixels(dpi, form.ClientHeight())},
                       kFormStyle, kFormExStyle, dpi);
}

SIZE FormLayout::OuterSize(int dpi) const {
  return FormOuterSize(form_.Services().dpi, form_.Model(), dpi);
}

void FormLayout::FollowWindowDpi() {
  const int dpi = form_.Services().dpi.WindowDpi(form_.Handle(), dpi_);
  if (dpi == dpi_) return;
  Apply(dpi);
  const SIZE size = OuterSize(dpi);
  const POINT at = Centred(size);
  if (IsIconic(form_.Handle())) {
    SetNormalRect({at.x, at.y, at.x + size.cx, at.y + size.cy});
    return;
  }
  ModelPushGuard pushing(form_);
  SetWindowPos(form_.Handle(), nullptr, at.x, at.y, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea();
}

WorkAreaOffset FormLayout::WorkAreaOffsetOf() const {
  HWND window = form_.Handle();
  if (form_.Services().queries.work_area_offset)
    return form_.Services().queries.work_area_offset(window);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return {};
  return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

void FormLayout::SetNormalRect(const RECT& rect) {
  HWND window = form_.Handle();
  WINDOWPLACEMENT placement = WindowPlacementOf(window);
  // The placement is in workspace coordinates: from the work area's corner.
  const WorkAreaOffset work = WorkAreaOffsetOf();
  placement.rcNormalPosition = rect;
  OffsetRect(&placement.rcNormalPosition, -work.x, -work.y);
  placement.flags = 0;
  placement.showCmd = IsWindowVisible(window) ? SW_SHOWMINNOACTIVE : SW_HIDE;
  ModelPushGuard pushing(form_);
  SetWindowPlacement(window, &placement);
}

void FormLayout::FitClientArea() {
  HWND window = form_.Handle();
  RECT client, outer;
  GetClientRect(window, &client);
  const int dx = ToPixels(dpi_, form_.Model().ClientWidth()) - client.right;
  const int dy = ToPixels(dpi_, form_.Model().ClientHeight()) - client.bottom;
  if (dx == 0 && dy == 0) return;
  GetWindowRect(window, &outer);
  SetWindowPos(window, nullptr, outer.left - dx / 2, outer.top - dy / 2,
               outer.right - outer.left + dx, outer.bottom - outer.top + dy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormLayout::Apply(int dpi) {
  ModelPushGuard pushing(form_);
  dpi_ = dpi;
  // The controls still use the old font until they get the new one.
  UniqueFont old_font = std::exchange(font_, UniqueFont(form_.Services().dpi.MessageFont(dpi)));
  for (const auto& control : form_.Controls()) control->Place();
  SetWindowIcons();
}

void FormLayout::OnDpiChanged(int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  Apply(dpi);
  HWND window = form_.Handle();
  if (IsIconic(window)) {
    // Minimised into the notification area: the size it comes back with.
    const RECT normal = WindowPlacementOf(window).rcNormalPosition;
    const WorkAreaOffset work = WorkAreaOffsetOf();
    const POINT at{normal.left + work.x, normal.top + work.y};
    const SIZE size = OuterSize(dpi);
    SetNormalRect({at.x, at.y, at.x + size.cx, at.y + size.cy});
    return;
  }
  SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea();
  InvalidateRect(window, nullptr, TRUE);
}

void FormLayout::SetWindowIcons() {
  WindowIcons icons = form_.Services().art.IconsAt(form_.Model().Icon(), dpi_);
  SendMessageW(form_.Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.big));
  SendMessageW(form_.Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
  // The window no longer uses the images it had.
  big_icon_ = std::move(icons.own_big);
  small_icon_ = std::move(icons.own_small);
}

}  // namespace platform::win32
