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

TrayIcon::TrayIcon(Form& form, platform::NotifyArea& area, platform::NotifyIconRecord& record)
    : form_(form),
      area_(area),
      record_(record),
      retry_(form.AddTimer("TrayRetry", kAddRetryMs, false)) {
  retry_.OnTimer = [this] { RetryAdd(); };
}

bool TrayIcon::Hidden() const {
  return form_.Loaded() && !form_.Visible() && form_.State() == WindowState::Minimised;
}

void TrayIcon::AddIcon() {
  // A second add for an icon already present fails without effect; one that
  // failed although the icon was added (a timeout) is found by a modify.
  if (area_.ShellNotifyIcon(platform::kNimAdd, record_) ||
      (!present_ && area_.ShellNotifyIcon(platform::kNimModify, record_))) {
    Added();
    return;
  }
  if (present_) return;
  if (retry_.Enabled()) return;
  attempts_left_ = kAddAttempts;
  retry_.SetEnabled(true);
}

void TrayIcon::Added() {
  present_ = true;
  area_.ShellNotifyIcon(platform::kNimSetVersion, record_);
}

void TrayIcon::MinimiseHandling() {
  if (form_.State() != WindowState::Minimised) return;
  form_.Hide();
  form_.Repaint();
  AddIcon();
}

void TrayIcon::RetryAdd() {
  if (!Hidden()) {
    retry_.SetEnabled(false);
    return;
  }
  if (area_.ShellNotifyIcon(platform::kNimModify, record_) ||
      area_.ShellNotifyIcon(platform::kNimAdd, record_)) {
    Added();
    retry_.SetEnabled(false);
    return;
  }
  if (--attempts_left_ > 0) return;
  retry_.SetEnabled(false);
  ShowOnTaskbar();
}

bool TrayIcon::ForeignBoxShown() const {
  const Application& app = form_.App();
  return app.MessageBoxShown() && app.MessageBoxOwner() != &form_;
}

void TrayIcon::ShowOnTaskbar() {
  if (!Hidden() || present_) return;
  if (ForeignBoxShown()) {
    form_.App().AfterMessageBox([this] { ShowOnTaskbar(); });
    return;
  }
  try {
    form_.Show();
  } catch (const ToolkitError&) {
    attempts_left_ = 1;
    retry_.SetEnabled(true);
  }
}

void TrayIcon::Callback(int code) {
  try {
    // A panel unloaded while the restore waited for a box is not loaded again.
    if (!form_.Loaded() || form_.State() != WindowState::Minimised) return;
    if (code != platform::kLeftButtonDown && code != platform::kNinSelect &&
        code != platform::kNinKeySelect)
      return;
    Application& app = form_.App();
    if (ForeignBoxShown()) {
      // The box comes to the front, the panel once it is closed.
      app.Platform().RaiseMessageBox();
      app.AfterMessageBox([this, code] { Callback(code); });
      return;
    }
    form_.SetWindowState(WindowState::Normal);
    form_.Show();
    Binding& screen = app.Platform();
    form_.Move((screen.ScreenWidth(form_) - form_.Width()) / 2,
               (screen.ScreenHeight(form_) - form_.Height()) / 2);
    area_.ShellNotifyIcon(platform::kNimDelete, record_);
    present_ = false;
    // A box the panel owns was hidden with it when it was minimised from outside.
    if (app.MessageBoxShown()) screen.RaiseMessageBox();
  } catch (const ToolkitError& failure) {
    if (failure.Number() == kNonModalWhileModal) return;
    form_.App().MsgBox(std::to_string(failure.Number()) + "\r\n" + failure.Description(), "Error",
                       MessageIcon::Information);
  }
}

void TrayIcon::AreaCreated() {
  present_ = false;
  if (Hidden()) AddIcon();
}

}  // namespace ui
