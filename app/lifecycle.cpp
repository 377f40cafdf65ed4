#include "app/lifecycle.h"

#include <chrono>
#include <thread>

#include "app/version.h"

namespace app {

void Environment::SleepFor(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Monitor::Monitor(Environment env)
    : env_(std::move(env)),
      settings_(env_.install_dir, env_.pause),
      app_(env_.binding),
      server_(
          g_, env_.processes, [this](const std::string& text) { Warn(text); }, env_.install_dir,
          env_.clock,
          [this](std::function<void()> task) { app_.Platform().Post(std::move(task)); }) {}

void Monitor::Warn(const std::string& text) {
  app_.MsgBox(text, kAppTitle, ui::MessageIcon::Warning);
}

void Monitor::Run() {
  StartUp();
  app_.Run();
}

// The start-up window's load handler.
void Monitor::StartUp() {
  startup_window_ = std::make_unique<StartupWindow>(app_);
  startup_window_->Publish(g_);
  main_ = std::make_unique<ui::MainWindow>(
      app_, ui::MainWindowServices{g_, settings_, env_.system_lang_id, server_, env_.notify_area,
                                   tray_icon_data_, [this] { ShutdownSequence(); },
                                   [this] { EndSession(); }});
  main_->ShowModal([this] { startup_window_->Unload(); });
}

void Monitor::EndSession() {
  session_ending_ = true;
  ShutdownSequence();
}

void Monitor::ShutdownSequence() {
  std::string reason;
  // A run after a failed save does not wait for the file again: the end of a session
  // must not be held up twice.
  const bool saved =
      settings_.Save(g_, &reason, save_failed_ ? 1 : settings::SettingsFile::kSaveAttempts);
  // Once the session ends nothing is shown, also not by the run at the process's end.
  if (!saved && !session_ending_ && !save_failed_) {
    const std::string file =
        settings_.Path() == settings::kFileName
            ? platform::JoinPath(platform::CurrentDirectory(), settings_.Path())
            : settings_.Path();
    Warn("Unable to save the settings to " + file + ".\r\n" + reason);
  }
  if (!saved) save_failed_ = true;
  server_.KillServer(g_.ServerPid);
  // Stopped: a second run of the sequence has no server to stop.
  g_.ServerPid = 0;
  env_.notify_area.ShellNotifyIcon(platform::kNimDelete, tray_icon_data_);
  if (main_ && main_->Loaded()) main_->Unload();
}

}  // namespace app
