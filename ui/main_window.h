// WEBMONITOR_FORM, the control panel: port field, Start and Stop, the two
// start-up options, the language list, Quit and the logo.
#pragma once

#include <cstdint>
#include <functional>

#include "app/global_variables.h"
#include "platform/declarations.h"
#include "server/server_control.h"
#include "server/supervision.h"
#include "settings/settings_file.h"
#include "ui/toolkit.h"
#include "ui/tray_icon.h"

namespace ui {

inline constexpr Color kWindowColor{240, 233, 208};
inline constexpr Color kLabelColor{252, 245, 230};
inline constexpr Color kCheckBoxColor{240, 233, 208};
inline constexpr int kClientWidth = 9600;
inline constexpr int kClientHeight = 2355;
inline constexpr int kSupervisionIntervalMs = 500;

struct MainWindowServices {
  GlobalVariables& g;
  const settings::SettingsFile& settings;
  uint16_t system_lang_id;
  server::ServerControl& server;
  platform::NotifyArea& notify_area;
  platform::NotifyIconRecord& tray_icon_data;
  // The shutdown sequence, run by Quit and when the window object is destroyed.
  std::function<void()> shutdown;
  // The same sequence when the session ends: it shows nothing and does not wait.
  std::function<void()> end_session;
};

class MainWindow : public Form, public server::SupervisedControls {
 public:
  // Creates the window and runs its initialisation.
  MainWindow(Application& app, MainWindowServices services);

  // Reads the language list into LanguageIndex and sets the captions of its language.
  void LanguageHandler();

  // server::SupervisedControls
  bool StartEnabled() const override { return StartButton.Enabled(); }
  void SetStartEnabled(bool enabled) override { StartButton.SetEnabled(enabled); }
  void SetStopEnabled(bool enabled) override { StopButton.SetEnabled(enabled); }
  void SetPortEnabled(bool enabled) override { TCP.SetEnabled(enabled); }
  void SetTimerEnabled(bool enabled) override { Timer1.SetEnabled(enabled); }

  CheckBox& Check1;  // start minimised into the notification area
  Label& TCPName;
  PushButton& Quit;
  DropDownList& Language;
  PushButton& StartButton;
  PushButton& StopButton;
  CheckBox& Check2;  // start the server automatically
  TextBox& TCP;
  Label& WebServName;
  Image& Image1;  // the logo
  Timer& Timer1;  // the supervision tick, every 500 ms

 private:
  void ConnectHandlers();
  void Initialise();
  void SelectLanguage();

  MainWindowServices services_;
  GlobalVariables& g_;
  TrayIcon tray_;
};

// The window caption: "Dravelo_WEB_MONITOR  V1.0" for this build.
std::string VersionedCaption(const std::string& app_name);

}  // namespace ui
