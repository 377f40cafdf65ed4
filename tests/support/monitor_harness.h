// The whole program on the headless binding, with fake processes and a fake
// notification area, in a throwaway installation folder.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/lifecycle.h"
#include "support/fakes.h"
#include "support/headless_binding.h"
#include "support/temp_dir.h"

namespace testing_support {

inline constexpr char kDefaultSettingsBytes[] =
    " 1 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";

struct MonitorHarness {
  TempDir dir;
  HeadlessBinding binding;
  FakeProcesses processes;
  FakeNotifyArea area;
  uint16_t system_lang_id = 0x0409;
  // Stands in for the waits between the attempts to save at the session's end.
  std::function<void(int ms)> pause = [](int) {};
  // What the program runs on: the fakes and `dir` unless a test sets others.
  platform::Processes* launcher = &processes;
  std::filesystem::path folder = dir.Path();
  std::unique_ptr<app::Monitor> monitor;

  app::Monitor& Make() {
    monitor = std::make_unique<app::Monitor>(
        app::Environment{binding, *launcher, area, system_lang_id, folder.string(), pause,
                         [this] { return binding.Now(); }});
    return *monitor;
  }
  // Start-up only, without the event loop: the state right after start-up.
  app::Monitor& StartOnly() {
    Make();
    monitor->StartUp();
    binding.Pump();
    return *monitor;
  }
  ui::MainWindow& Main() { return *monitor->MainWindow(); }
  GlobalVariables& G() { return monitor->Globals(); }
  std::string Settings() const { return dir.Read("Dravelo_WEB_MONITOR.CFG"); }
};

}  // namespace testing_support
