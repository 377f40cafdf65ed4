#include "ui/main_window.h"

#include "app/version.h"
#include "settings/numeric_value.h"
#include "ui/language.h"

namespace ui {

namespace {

// Runs one step of the initialisation's tail: a failure skips that step only.
template <class Step>
void Attempt(Step step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

std::string VersionedCaption(const std::string& app_name) {
  return app_name + "  V" + std::to_string(app::kVersionMajor) + "." +
         std::to_string(app::kVersionMinor);
}

MainWindow::MainWindow(Application& app, MainWindowServices services)
    : Form(app, "WEBMONITOR_FORM", kClientWidth, kClientHeight),
      Check1(Add<CheckBox>("Check1", Rect{2280, 1560, 3135, 315}, 0, kDesignCaptions.check1)),
      TCPName(Add<Label>("TCPName", Rect{120, 240, 2175, 255}, 1, kDesignCaptions.tcp_name)),
      Quit(Add<PushButton>("Quit", Rect{8280, 1920, 1215, 315}, 2, kDesignCaptions.quit)),
      Language(Add<DropDownList>("Language", Rect{120, 1920, 1695, 315}, 3)),
      StartButton(Add<PushButton>("StartButton", Rect{2280, 720, 1455, 375}, 4,
                                  kDesignCaptions.start_button)),
      StopButton(Add<PushButton>("StopButton", Rect{3960, 720, 1455, 375}, 5,
                                 kDesignCaptions.stop_button)),
      Check2(Add<CheckBox>("Check2", Rect{2280, 1200, 3015, 315}, 6, kDesignCaptions.check2)),
      TCP(Add<TextBox>("TCP", Rect{2280, 240, 3135, 375}, 7, "80")),
      WebServName(
          Add<Label>("WebServName", Rect{120, 720, 2175, 255}, 8, kDesignCaptions.web_serv_name)),
      Image1(Add<Image>("Image1", Rect{6840, 120, 2595, 1530})),
      Timer1(AddTimer("Timer1", 50, false)),
      services_(std::move(services)),
      g_(services_.g),
      tray_(*this, services_.notify_area, services_.tray_icon_data) {
  SetCaption("Dravelo_WEB_MONITOR");
  TCPName.SetNamed(TCP);
  Language.SetAccessibleName(kDesignCaptions.language);
  ConnectHandlers();
  Load();
  Initialise();
}

void MainWindow::ConnectHandlers() {
  Check1.OnClick = [this] { g_.StartMinimized = Check1.Value() == 1 ? 1 : 0; };
  Check2.OnClick = [this] { g_.StartAutomatically = Check2.Value() == 1 ? 1 : 0; };
  TCP.OnChange = [this] {
    g_.ServerPort =
        settings::RoundToInt32(settings::NumericValue(TCP.Text())).value_or(settings::kDefaultPort);
  };
  StartButton.OnClick = [this] { services_.server.Start(); };
  StopButton.OnClick = [this] { services_.server.Stop(); };
  Quit.OnClick = [this] { services_.shutdown(); };
  Language.OnClick = [this] { LanguageHandler(); };
  Timer1.OnTimer = [this] { server::SupervisionTick(g_, services_.server, *this); };
  OnResize = [this] { tray_.MinimiseHandling(); };
  OnNotifyIcon = [this](int code) { tray_.Callback(code); };
  OnNotifyAreaCreated = [this] { tray_.AreaCreated(); };
  OnTerminate = [this] { services_.shutdown(); };
  OnSessionEnd = [this] { services_.end_session(); };
}

void MainWindow::Initialise() {
  Image1.SetVisible(false);
  SetCaption(VersionedCaption(g_.AppName));
  services_.settings.Load(g_, services_.system_lang_id);
  TCP.SetText(settings::DecimalForm(g_.ServerPort));
  g_.AutoStartPending = g_.StartAutomatically;
  try {
    Check2.SetValue(g_.StartAutomatically);
  } catch (const ToolkitError&) {
    // A value the check box refuses falls back to the settings default.
    g_.StartAutomatically = settings::kDefaultFlag;
    Check2.SetValue(g_.StartAutomatically);
  }
  g_.ServerPid = 0;
  Timer1.SetInterval(kSupervisionIntervalMs);
  Timer1.SetEnabled(true);
  StartButton.SetEnabled(true);
  StopButton.SetEnabled(false);
  SetBackColor(kWindowColor);
  TCPName.SetBackColor(kLabelColor);
  WebServName.SetBackColor(kLabelColor);
  Check1.SetBackColor(kCheckBoxColor);
  Check2.SetBackColor(kCheckBoxColor);
  SelectLanguage();
  LanguageHandler();

  Attempt([this] {
    if (!g_.LogoPicture || !g_.LogoPicture->Picture()) throw ToolkitError(481, "Invalid picture");
    Image1.SetPicture(g_.LogoPicture->Picture());
  });
  Attempt([this] { SetIcon(g_.AppIcon); });
  Attempt([this] { Image1.SetVisible(true); });
  Attempt([this] {
    MakeWindow();
    FillTrayIconData(services_.tray_icon_data, NativeHandle(),
                     g_.AppIcon ? g_.AppIcon->Handle() : nullptr, Caption());
  });
  Attempt([this] { Check1.SetValue(g_.StartMinimized); });
  Attempt([this] {
    if (g_.StartMinimized == 1) {
      SetWindowState(WindowState::Minimised);
      tray_.MinimiseHandling();
    }
  });
}

void MainWindow::SelectLanguage() {
  Language.Clear();
  for (const char* entry : kLanguageEntries) Language.AddItem(entry);
  try {
    Language.SetListIndex(g_.LanguageIndex - 1);
  } catch (const ToolkitError&) {
    // A language the list does not have falls back to the settings default.
    g_.LanguageIndex = settings::DefaultLanguageIndex(services_.system_lang_id);
    Language.SetListIndex(g_.LanguageIndex - 1);
  }
}

void MainWindow::LanguageHandler() {
  g_.LanguageIndex = static_cast<int16_t>(Language.ListIndex() + 1);
  const CaptionSet* captions = CaptionsFor(g_.LanguageIndex);
  if (!captions) return;
  TCPName.SetCaption(captions->tcp_name);
  WebServName.SetCaption(captions->web_serv_name);
  Check1.SetCaption(captions->check1);
  Check2.SetCaption(captions->check2);
  StartButton.SetCaption(captions->start_button);
  StopButton.SetCaption(captions->stop_button);
  Quit.SetCaption(captions->quit);
  Language.SetAccessibleName(captions->language);
}

}  // namespace ui
