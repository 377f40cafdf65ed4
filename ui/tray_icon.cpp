#include "ui/tray_icon.h"

#include <algorithm>
#include <cstring>

#include "platform/system.h"

namespace ui {

void FillTrayIconData(platform::NotifyIconRecord& record, void* window, void* icon,
                      const std::string& caption) {
  record.cbSize = sizeof(platform::NotifyIconRecord);
  record.hWnd = window;
  record.uID = 1;
  record.uFlags = platform::kNifMessage | platform::kNifIcon | platform::kNifTip;
  record.uCallbackMessage = platform::kTrayCallbackMessage;
  record.hIcon = icon;
  const std::string tip = platform::Utf8ToAnsi(caption);
  const size_t n = std::min(tip.size(), sizeof record.szTip - 1);
  std::memset(record.szTip, ' ', sizeof record.szTip);
  std::memcpy(record.szTip, tip.data(), n);
  record.szTip[n] = '\0';
}

void TrayIcon::MinimiseHandling() {
  if (form_.State() != WindowState::Minimized) return;
  form_.Hide();
  form_.Repaint();
  area_.ShellNotifyIcon(platform::kNimAdd, record_);
}

void TrayIcon::Callback(int code) {
  try {
    if (form_.State() != WindowState::Minimized) return;
    if (code != platform::kLeftButtonDown) return;
    form_.SetWindowState(WindowState::Normal);
    form_.Show();
    Binding& screen = form_.App().Platform();
    form_.Move((screen.ScreenWidth(form_) - form_.Width()) / 2,
               (screen.ScreenHeight(form_) - form_.Height()) / 2);
    area_.ShellNotifyIcon(platform::kNimDelete, record_);
  } catch (const ToolkitError& failure) {
    if (failure.Number() == kNonModalWhileModal) return;
    form_.App().MsgBox(std::to_string(failure.Number()) + "\r\n" + failure.Description(), "Error",
                       MessageIcon::Information);
  }
}

void TrayIcon::AreaCreated() {
  if (!form_.Visible() && form_.State() == WindowState::Minimized)
    area_.ShellNotifyIcon(platform::kNimAdd, record_);
}

}  // namespace ui
