#include "app/lifecycle.h"

#include <chrono>
#include <thread>

#include "app/version.h"

namespace app {

namespace {

constexpr int kSessionEndSaveAttempts = 5;
constexpr int kSessionEndRetryPauseMs = 200;

}  // namespace

void Environment::SleepFor(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Monitor::Monitor(Environment env)
    : env_(std::move(env)),
      settings_(env_.install_dir),
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
  qor_ = std::make_unique<StartupWindow>(app_);
  qor_->Publish(g_);
  main_ = std::make_unique<ui::MainWindow>(
      app_, ui::MainWindowServices{g_, settings_, env_.system_lang_id, server_, env_.notify_area,
                                   tray_icon_data_, [this] { ShutdownSequence(); },
                                   [this] { EndSession(); }});
  main_->ShowModal([this] { qor_->Unload(); });
}

void Monitor::EndSession() {
  session_ending_ = true;
  Shutdown(kSessionEndSaveAttempts);
}

void Monitor::ShutdownSequence() { Shutdown(1); }

void Monitor::Shutdown(int save_attempts) {
  std::string reason;
  bool saved = settings_.Save(g_, &reason);
  for (int attempt = 1; !saved && attempt < save_attempts; ++attempt) {
    env_.pause(kSessionEndRetryPauseMs);
    saved = settings_.Save(g_, &reason);
  }
  // Once the session ends nothing is shown, also not by the run at the process's end.
  if (!saved && !session_ending_ && !save_failure_reported_) {
    save_failure_reported_ = true;
    const std::string file = settings_.Path() == settings::kFileName
                                 ? platform::JoinPath(platform::CurrentDirectory(), settings_.Path())
                                 : settings_.Path();
    Warn("Unable to save the settings to " + file + ".\r\n" + reason);
  }
  server_.KillServer(g_.ServerPid);
  // The identifier may name another process once ours has gone.
  g_.ServerPid = 0;
  g_.ServerStartTime = 0;
  env_.notify_area.ShellNotifyIcon(platform::kNimDelete, tray_icon_data_);
  if (main_ && main_->Loaded()) main_->Unload();
}

}  // namespace app
