// Start-up and shutdown of the whole program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/global_variables.h"
#include "app/startup_window.h"
#include "platform/declarations.h"
#include "platform/process.h"
#include "server/server_control.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

namespace app {

// What the program runs on.
struct Environment {
  ui::Binding& binding;
  platform::Processes& processes;
  platform::NotifyArea& notify_area;
  uint16_t system_lang_id;
  // The installation folder; empty: the working directory.
  std::string install_dir;
  // Waits between the attempts to save a settings file another program holds.
  std::function<void(int ms)> pause = SleepFor;
  // Milliseconds of a monotonic clock; empty: the steady clock.
  std::function<int64_t()> clock = nullptr;

  static void SleepFor(int ms);
};

class Monitor {
 public:
  explicit Monitor(Environment env);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // Start-up, then events until no window is left, then each window object is destroyed.
  void Run();
  // Start-up alone: the start-up window publishes, the main window is created
  // and displayed modally.
  void StartUp();

  // Saves the settings, stops the server, removes the icon and unloads the
  // main window. Harmless when run again.
  void ShutdownSequence();
  // The shutdown sequence when the session ends. No message box may hold the
  // session up: a save that fails (after the settings file's own attempts over
  // about a second when another program holds the file) is given up silently;
  // the file keeps what it held.
  void EndSession();

  GlobalVariables& Globals() { return g_; }
  ui::Application& App() { return app_; }
  server::ServerControl& Server() { return server_; }
  // Present from start-up on.
  ui::MainWindow* MainWindow() { return main_.get(); }
  StartupWindow* Startup() { return startup_window_.get(); }
  const platform::NotifyIconRecord& TrayIconData() const { return tray_icon_data_; }

 private:
  void Warn(const std::string& text);

  Environment env_;
  GlobalVariables g_;
  platform::NotifyIconRecord tray_icon_data_{};
  settings::SettingsFile settings_;
  ui::Application app_;
  server::ServerControl server_;
  std::unique_ptr<StartupWindow> startup_window_;  // QOR
  std::unique_ptr<ui::MainWindow> main_;
  bool save_failed_ = false;  // reported once, unless the session is ending
  bool session_ending_ = false;
};

}  // namespace app
