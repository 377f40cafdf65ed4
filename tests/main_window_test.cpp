// The control panel on the headless binding: initialisation, languages, the
// supervision tick and the notification-area icon.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

#include "server/supervision.h"
#include "support/monitor_harness.h"
#include "ui/language.h"
#include "ui/tray_icon.h"

namespace {

using testing_support::FakeArt;
using testing_support::MonitorHarness;

struct Captions {
  std::string tcp, web, check1, check2, start, stop, quit, language;  // the list's name
  bool operator==(const Captions&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Captions& c) {
  return os << c.tcp << "|" << c.web << "|" << c.check1 << "|" << c.check2 << "|" << c.start << "|"
            << c.stop << "|" << c.quit << "|" << c.language;
}
Captions Of(const ui::MainWindow& w) {
  return {w.TCPName.Caption(), w.WebServName.Caption(),    w.Check1.Caption(),
          w.Check2.Caption(),  w.StartButton.Caption(),    w.StopButton.Caption(),
          w.Quit.Caption(),    w.Language.AccessibleName()};
}
const Captions kEnglish{"TCP port of Webserver",
                        "WebServer",
                        "Start programme minimized",
                        "Start webserver automatically",
                        "Start",
                        "Stop",
                        "Quit",
                        "Language"};
const Captions kGerman{"TCP-Port vom Webserver",
                       "WebServer",
                       "Programm minimiert starten",
                       "Webserver automatisch starten",
                       "Start",
                       "Stop",
                       "Ende",
                       "Sprache"};
const Captions kDesign{"TCP-Port of Webserver",
                       "Webserver",
                       "Start minimized",
                       "Start automatically",
                       "Start",
                       "Stop",
                       "Quit",
                       "Language"};

bool Running(const ui::MainWindow& w) {
  return !w.StartButton.Enabled() && w.StopButton.Enabled() && !w.TCP.Enabled();
}
bool Stopped(const ui::MainWindow& w) {
  return w.StartButton.Enabled() && !w.StopButton.Enabled() && w.TCP.Enabled();
}

TEST(MainWindowTest, InitialisesWithTheDefaults) {
  MonitorHarness h;
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  EXPECT_EQ(w.Caption(), "Dravelo_WEB_MONITOR  V1.0");
  EXPECT_EQ(w.TCP.Text(), "80");
  EXPECT_EQ(w.Check1.Value(), 0);
  EXPECT_EQ(w.Check2.Value(), 0);
  EXPECT_EQ(w.Language.Items(), (std::vector<std::string>{"English", "Deutsch"}));
  EXPECT_EQ(w.Language.ListIndex(), 0);
  EXPECT_EQ(Of(w), kEnglish);
  EXPECT_TRUE(Stopped(w));
  EXPECT_TRUE(w.Image1.Visible());
  ASSERT_NE(w.Image1.Picture(), nullptr);
  EXPECT_EQ(static_cast<const FakeArt&>(*w.Image1.Picture()).Art(), ui::EmbeddedArt::Logo);
  EXPECT_EQ(w.Timer1.Interval(), 500);
  EXPECT_TRUE(w.Timer1.Enabled());
  EXPECT_EQ(w.BackColor(), (ui::Color{240, 233, 208}));
  EXPECT_EQ(w.TCPName.BackColor(), (ui::Color{252, 245, 230}));
  EXPECT_EQ(w.Check2.BackColor(), (ui::Color{240, 233, 208}));
  EXPECT_EQ(h.G().ServerPid, 0);
  EXPECT_TRUE(h.area.icons.empty());
}

TEST(MainWindowTest, LayoutFollowsTheTableInTabOrder) {
  MonitorHarness h;
  h.StartOnly();
  std::vector<std::string> names;
  for (const auto& c : h.Main().Controls())
    if (c->TabIndex() >= 0)
      names.resize(std::max<size_t>(names.size(), c->TabIndex() + 1)),
          names[c->TabIndex()] = c->Name();
  EXPECT_EQ(names, (std::vector<std::string>{"Check1", "TCPName", "Quit", "Language", "StartButton",
                                             "StopButton", "Check2", "TCP", "WebServName"}));
  const ui::Rect image = h.Main().Image1.Bounds();
  EXPECT_EQ(image.width / 15, 173);
  EXPECT_EQ(image.height / 15, 102);
  EXPECT_EQ(h.Main().ClientWidth() / 15, 640);
  EXPECT_EQ(h.Main().ClientHeight() / 15, 157);
}

TEST(MainWindowTest, TheThreeCaptionSets) {
  MonitorHarness h;
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  w.Language.UserSelected(1);
  EXPECT_EQ(Of(w), kGerman);
  EXPECT_EQ(h.G().LanguageIndex, 2);
  w.Language.UserSelected(0);
  EXPECT_EQ(Of(w), kEnglish) << "English after German is the English column";
  w.LanguageHandler();
  EXPECT_EQ(Of(w), kEnglish);
  EXPECT_EQ(w.Caption(), "Dravelo_WEB_MONITOR  V1.0") << "the caption is not translated";

  MonitorHarness none;
  none.dir.Write("Dravelo_WEB_MONITOR.CFG", "\r\n");
  none.StartOnly();
  EXPECT_EQ(none.Main().Language.ListIndex(), -1);
  EXPECT_EQ(Of(none.Main()), kDesign);
  EXPECT_EQ(none.G().LanguageIndex, 0);
  none.Main().Language.UserSelected(1);
  EXPECT_EQ(Of(none.Main()), kGerman);
}

TEST(MainWindowTest, GermanFromTheSystemOrTheFileAndRefusedValuesFallBack) {
  MonitorHarness german;
  german.system_lang_id = 0x0C07;
  german.StartOnly();
  EXPECT_EQ(Of(german.Main()), kGerman);

  // A language the list lacks falls back to the system's.
  for (const auto& [system, language, captions] :
       {std::tuple{0x0409, 1, kEnglish}, std::tuple{0x0407, 2, kGerman}}) {
    MonitorHarness odd;
    odd.system_lang_id = system;
    odd.dir.Write("Dravelo_WEB_MONITOR.CFG", " 7 \r\n 5 \r\n 5 \r\n 81 \r\n");
    odd.StartOnly();
    EXPECT_EQ(odd.G().LanguageIndex, language) << system;
    EXPECT_EQ(Of(odd.Main()), captions);
    EXPECT_EQ(odd.G().StartAutomatically, 0);
    EXPECT_EQ(odd.Main().Check2.Value(), 0);
    EXPECT_EQ(odd.G().StartMinimized, 5) << "a refused start-minimised value is kept, not acted on";
    EXPECT_TRUE(odd.Main().Visible());
    EXPECT_EQ(odd.Main().TCP.Text(), "81");
  }

  MonitorHarness lf;  // LF line ends: one language line 10080
  lf.dir.Write("Dravelo_WEB_MONITOR.CFG", "1\n0\n0\n80\n");
  lf.StartOnly();
  EXPECT_EQ(lf.G().LanguageIndex, 1);
}

TEST(MainWindowTest, OptionsAndPortAreHeldAndStartUsesThePort) {
  MonitorHarness h;
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  w.TCP.UserEdited("81");
  EXPECT_EQ(h.G().ServerPort, 81);
  w.TCP.UserEdited("abc");
  EXPECT_EQ(h.G().ServerPort, 0);
  w.TCP.UserEdited("99999999999");
  EXPECT_EQ(h.G().ServerPort, 80) << "a port beyond 32 bits falls back to the default";
  w.TCP.UserEdited("81");
  w.Check2.UserClicked();
  EXPECT_EQ(h.G().StartAutomatically, 1);
  h.binding.Advance(1000);
  EXPECT_TRUE(h.processes.launched.empty()) << "ticking automatic start launches nothing";
  w.Check1.UserClicked();
  EXPECT_EQ(h.G().StartMinimized, 1);
  w.Check1.UserClicked();
  EXPECT_EQ(h.G().StartMinimized, 0);
  w.StartButton.UserClicked();
  ASSERT_EQ(h.processes.launched.size(), 1u);
  EXPECT_EQ(h.processes.launched[0].command_line, "php\\php -S 127.0.0.1:81 -t php/www/public/");
}

TEST(MainWindowTest, TheTickFollowsTheServer) {
  MonitorHarness h;
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  h.binding.Advance(500);
  EXPECT_TRUE(Stopped(w));

  w.StartButton.UserClicked();
  EXPECT_TRUE(Stopped(w)) << "the controls change only at the tick";
  h.binding.Advance(499);
  EXPECT_TRUE(Stopped(w));
  h.binding.Advance(1);
  EXPECT_TRUE(Running(w));
  const int32_t pid = h.G().ServerPid;
  EXPECT_NE(pid, 0);

  h.binding.Advance(2000);  // past the time in which an end is reported
  h.processes.KillFromOutside(pid);
  h.binding.Advance(500);
  EXPECT_TRUE(Stopped(w));
  EXPECT_EQ(h.G().ServerPid, 0);

  w.StartButton.UserClicked();
  h.binding.Advance(500);
  w.StopButton.UserClicked();
  EXPECT_TRUE(Running(w)) << "Stop shows at the next tick";
  EXPECT_TRUE(h.binding.messages.empty());
  h.binding.Advance(500);
  EXPECT_TRUE(Stopped(w));
  EXPECT_EQ(h.processes.Running(), 0);

  // A server that ends at once is never shown as Running.
  h.processes.servers_exit_at_once = true;
  w.StartButton.UserClicked();
  h.binding.Advance(500);
  EXPECT_TRUE(Stopped(w));
  EXPECT_EQ(h.G().ServerPid, 0);
}

// Only a server that ends by itself within about 2 s of its launch is reported, once,
// and the tick goes on while the box is open.
TEST(MainWindowTest, AServerThatEndsRightAfterItsStartIsReported) {
  const struct {
    const char* name;
    bool at_once;
    std::function<void(MonitorHarness&)> act;
    const char* report;
    uint32_t code = 7;
    const char* output = "";  // what the server wrote
  } cases[] = {
      {"ends before the first tick", true, [](MonitorHarness&) {},
       "The Webserver ended right after it was started (exit code 7)."},
      {"tells why", true, [](MonitorHarness&) {},
       "The Webserver ended right after it was started (exit code 1):\r\nPHP Warning:  "
       "Unknown: x\r\nFailed to listen on 127.0.0.1:80",
       1, "\r\n  PHP Warning:  Unknown: x\r\n\x1b[0m\n\nFailed to listen on 127.0.0.1:80  \n"},
      {"a DLL missing", true, [](MonitorHarness&) {},
       "The Webserver ended right after it was started (exit code 0xC0000135).\r\nA DLL that "
       "php.exe needs was not found: install the Microsoft Visual C++ Redistributable, or put "
       "the missing DLL into the php folder.",
       0xC0000135},
      {"ends at 1 s", false,
       [](MonitorHarness& h) {
         h.binding.Advance(500);
         h.processes.KillFromOutside(h.G().ServerPid);
       },
       "The Webserver ended right after it was started (exit code 0)."},
      {"stopped by the user", false, [](MonitorHarness& h) { h.Main().StopButton.UserClicked(); },
       ""},
      {"ends at 3 s", false,
       [](MonitorHarness& h) {
         h.binding.Advance(2500);
         h.processes.KillFromOutside(h.G().ServerPid);
       },
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MonitorHarness h;
    h.StartOnly();
    h.processes.servers_exit_at_once = c.at_once;
    h.processes.at_once_exit_code = c.code;
    h.processes.at_once_output = c.output;
    h.Main().StartButton.UserClicked();
    if (!c.at_once) h.binding.Advance(500);
    c.act(h);
    bool ticking_while_shown = false;
    h.binding.on_message = [&](const testing_support::ShownMessage&) {
      ticking_while_shown = h.Main().Timer1.Enabled() && h.binding.Scheduled(h.Main().Timer1);
    };
    h.binding.Advance(5000);
    std::vector<std::string> texts;
    for (const auto& m : h.binding.messages) texts.push_back(m.text);
    EXPECT_EQ(texts, *c.report ? std::vector<std::string>{c.report} : std::vector<std::string>{});
    if (*c.report) {
      EXPECT_EQ(h.binding.messages[0].icon, ui::MessageIcon::Warning);
      EXPECT_TRUE(ticking_while_shown) << "the box holds supervision up";
    }
    EXPECT_TRUE(Stopped(h.Main()));
  }
}

TEST(MainWindowTest, AutomaticStartHappensOnceAndOnlyForOne) {
  MonitorHarness h;
  h.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 0 \r\n 1 \r\n");
  h.StartOnly();
  EXPECT_TRUE(h.processes.launched.empty());
  h.binding.Advance(500);
  EXPECT_EQ(h.processes.launched.size(), 1u) << "the first tick launches";
  EXPECT_TRUE(Stopped(h.Main()));
  h.binding.Advance(500);
  EXPECT_TRUE(Running(h.Main())) << "the second tick shows it";
  h.processes.KillFromOutside(h.G().ServerPid);
  h.binding.Advance(2000);
  EXPECT_EQ(h.processes.launched.size(), 1u) << "the request is consumed";

  MonitorHarness two;
  two.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 0 \r\n 2 \r\n");
  two.StartOnly();
  two.binding.Advance(2000);
  EXPECT_TRUE(two.processes.launched.empty());
  EXPECT_EQ(two.G().AutoStartPending, 2);
  EXPECT_EQ(two.G().StartAutomatically, 0) << "the check box reports grey as not set";

  MonitorHarness busy;
  busy.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 0 \r\n 1 \r\n 8080 \r\n");
  busy.processes.ports_in_use.insert(8080);
  busy.StartOnly();
  busy.binding.Advance(3000);
  EXPECT_TRUE(busy.processes.launched.empty());
  EXPECT_TRUE(Stopped(busy.Main()));
  ASSERT_EQ(busy.binding.messages.size(), 1u) << "reported once, not retried";
  EXPECT_EQ(busy.binding.messages[0].text, "TCP port 8080 is already in use.");
}

TEST(MainWindowTest, SupervisionGoesOnAfterAFailedAutomaticStartOrATickThatThrows) {
  MonitorHarness h;
  h.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 0 \r\n 1 \r\n");
  h.processes.launch_failure = "The system cannot find the file specified.";
  h.StartOnly();
  h.binding.Advance(500);
  ASSERT_EQ(h.binding.messages.size(), 1u);
  EXPECT_EQ(h.binding.messages[0].text,
            "Unable to start Webserver.\r\nThe system cannot find the file specified.");
  EXPECT_TRUE(h.Main().Timer1.Enabled());
  EXPECT_TRUE(h.binding.Scheduled(h.Main().Timer1));
  EXPECT_EQ(h.G().ServerPid, 0);
  h.processes.launch_failure.clear();
  h.Main().StartButton.UserClicked();
  h.processes.throwing_probes = 1;  // a step that throws ends that tick only
  h.binding.Advance(1000);
  EXPECT_TRUE(Running(h.Main())) << "the next tick still follows the server";
}

TEST(MainWindowTest, MinimiseHidesIntoTheIconAndALeftClickBringsItBackCentred) {
  MonitorHarness h;
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  // The left button, then Enter or Space on the icon, then the icon chosen with the mouse.
  for (const int code :
       {platform::kLeftButtonDown, platform::kNinKeySelect, platform::kNinSelect}) {
    SCOPED_TRACE(code);
    const int repaints = h.binding.repaints;
    h.area.failing_adds = 1;  // busy at each minimise, also the ones after a restore
    w.UserChangedState(ui::WindowState::Minimised);
    h.binding.Advance(ui::kAddRetryMs);
    EXPECT_FALSE(w.Visible());
    EXPECT_EQ(h.binding.repaints, repaints + 1) << "hiding repaints the window once";
    EXPECT_EQ(h.area.icons.size(), 1u);
    EXPECT_EQ(h.area.versioned, h.area.icons) << "the icon takes the keyboard's contract";
    EXPECT_EQ(h.area.last_tip, "Dravelo_WEB_MONITOR  V1.0");
    for (const int ignored : {0x0204, 0x0205, 0x007B, 0x0200})  // right button, menu, a move
      w.OnNotifyIcon(ignored);
    EXPECT_FALSE(w.Visible());
    w.OnNotifyIcon(code);
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(w.State(), ui::WindowState::Normal);
    EXPECT_TRUE(h.area.icons.empty());
    EXPECT_EQ(w.Left(), (h.binding.ScreenWidth(w) - w.Width()) / 2);
    EXPECT_EQ(w.Top(), (h.binding.ScreenHeight(w) - w.Height()) / 2);
  }
  // Events over the visible window change nothing: no icon removed, no move.
  w.UserMoved(150, 300);
  const size_t calls = h.area.calls.size();
  w.OnNotifyIcon(platform::kLeftButtonDown);
  EXPECT_TRUE(w.Visible());
  EXPECT_EQ(h.area.calls.size(), calls);
  EXPECT_EQ(std::make_pair(w.Left(), w.Top()), std::make_pair(150, 300));
  EXPECT_TRUE(h.binding.messages.empty());

  // The server and its supervision go on while hidden.
  w.StartButton.UserClicked();
  w.UserChangedState(ui::WindowState::Minimised);
  h.binding.Advance(500);
  EXPECT_TRUE(Running(w));
}

TEST(MainWindowTest, StartMinimisedAndAFreshNotificationArea) {
  MonitorHarness h;
  h.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 1 \r\n");
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  EXPECT_FALSE(w.Visible());
  EXPECT_EQ(w.Check1.Value(), 1);
  EXPECT_EQ(h.area.icons.size(), 1u);
  EXPECT_FALSE(h.Main().App().ModalDisplayed()) << "the modal display ended at once";

  h.area.icons.clear();  // the notification area's host restarted
  h.area.versioned.clear();
  w.OnNotifyAreaCreated();
  EXPECT_EQ(h.area.icons.size(), 1u);
  EXPECT_EQ(h.area.versioned, h.area.icons);
  w.OnNotifyIcon(platform::kLeftButtonDown);
  EXPECT_TRUE(w.Visible());
  EXPECT_TRUE(h.area.icons.empty());
  w.OnNotifyAreaCreated();
  EXPECT_TRUE(h.area.icons.empty()) << "no icon while the window is shown";
}

// At logon Explorer may be too busy to take the icon: it is tried again, and
// after about a minute the window shows minimised on the taskbar instead.
TEST(MainWindowTest, TheIconIsTriedAgainWhileTheNotificationAreaIsBusy) {
  struct Case {
    const char* name;
    int failing_adds;
    bool land;
    bool icon;         // afterwards: the icon is present; else the window shows on the taskbar
    bool box = false;  // an automatic start that cannot launch keeps a box open meanwhile
  };
  for (const Case c :
       {Case{"busy for three tries", 3, false, true},
        Case{"added despite a timeout", 1, true, true}, Case{"never free", 1000, false, false},
        Case{"never free, a box open", 1000, false, false, true}}) {
    SCOPED_TRACE(c.name);
    MonitorHarness h;
    h.dir.Write("Dravelo_WEB_MONITOR.CFG", c.box ? " 1 \r\n 1 \r\n 1 \r\n" : " 1 \r\n 1 \r\n");
    h.processes.launch_failure = "The system cannot find the file specified.";
    h.area.failing_adds = c.failing_adds;
    h.area.failed_adds_land = c.land;
    h.StartOnly();
    ui::MainWindow& w = h.Main();
    // The minute passes with the box open: the window waits, not disabled behind it.
    h.binding.on_message = [&](const testing_support::ShownMessage&) {
      h.binding.Advance(ui::kAddRetryMs * ui::kAddAttempts);
      EXPECT_FALSE(w.Visible());
    };
    h.binding.Advance(ui::kAddRetryMs * ui::kAddAttempts);
    h.binding.Pump();
    EXPECT_EQ(h.area.icons.size(), c.icon ? 1u : 0u);
    EXPECT_EQ(h.area.versioned, h.area.icons) << "an icon added on a retry has no version";
    EXPECT_EQ(w.Visible(), !c.icon);
    EXPECT_EQ(w.State(), ui::WindowState::Minimised);
    const size_t calls = h.area.calls.size();
    h.binding.Advance(10 * ui::kAddRetryMs);
    EXPECT_EQ(h.area.calls.size(), calls) << "the tries stopped";
  }
}

// A box raised while the panel is hidden: a click on the icon brings the box
// forward, and the panel comes back only once the box is closed.
TEST(MainWindowTest, ARestoreWhileABoxIsShownWaitsForIt) {
  MonitorHarness h;
  h.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 1 \r\n 1 \r\n");
  h.processes.launch_failure = "The system cannot find the file specified.";
  h.StartOnly();
  ui::MainWindow& w = h.Main();
  h.binding.on_message = [&](const testing_support::ShownMessage& m) {
    EXPECT_FALSE(m.owned);
    w.OnNotifyIcon(platform::kLeftButtonDown);
    w.OnNotifyIcon(platform::kLeftButtonDown);
    EXPECT_FALSE(w.Visible());
  };
  h.binding.Advance(500);  // the automatic start cannot launch
  ASSERT_EQ(h.binding.messages.size(), 1u);
  EXPECT_EQ(h.binding.raised_boxes, 2);
  h.binding.Pump();
  EXPECT_TRUE(w.Visible());
  EXPECT_EQ(w.State(), ui::WindowState::Normal);
  EXPECT_TRUE(h.area.icons.empty());
}

// Fails the removal of the icon, as a platform failure would.
class FailingArea : public testing_support::FakeNotifyArea {
 public:
  bool ShellNotifyIcon(uint32_t message, const platform::NotifyIconRecord& record) override {
    if (message == platform::kNimDelete && fail)
      throw ui::ToolkitError(5, "Invalid procedure call");
    return FakeNotifyArea::ShellNotifyIcon(message, record);
  }
  bool fail = false;
};

TEST(MainWindowTest, TheCallbacksErrorTrap) {
  testing_support::HeadlessBinding binding;
  ui::Application app(binding);
  FailingArea area;
  platform::NotifyIconRecord record{};
  ui::Form form(app, "F", 3000, 2000);
  ui::TrayIcon tray(form, area, record);
  form.OnResize = [&] { tray.MinimiseHandling(); };
  form.MakeWindow();
  ui::FillTrayIconData(record, form.NativeHandle(), nullptr, "F");

  // 401: a restore while a modal display is up is silent.
  ui::Form modal(app, "M", 3000, 2000);
  modal.ShowModal(nullptr);
  form.SetWindowState(ui::WindowState::Minimised);
  tray.Callback(platform::kLeftButtonDown);
  EXPECT_TRUE(binding.messages.empty());
  modal.Hide();

  // Any other failure: an "Error" box with the number, CR LF and the description.
  area.fail = true;
  form.SetWindowState(ui::WindowState::Minimised);
  tray.Callback(platform::kLeftButtonDown);
  ASSERT_EQ(binding.messages.size(), 1u);
  EXPECT_EQ(binding.messages[0].caption, "Error");
  EXPECT_EQ(binding.messages[0].text, "5\r\nInvalid procedure call");
  EXPECT_EQ(binding.messages[0].icon, ui::MessageIcon::Information);
  EXPECT_TRUE(form.Visible()) << "the state at the point of failure stays";
  // A restore that waited for a box never loads a window unloaded meanwhile.
  form.SetWindowState(ui::WindowState::Minimised);
  form.Unload();
  tray.Callback(platform::kLeftButtonDown);
  EXPECT_FALSE(form.Loaded());
}

TEST(TrayIconDataTest, RecordBytes) {
  platform::NotifyIconRecord record;
  std::memset(&record, 0xAB, sizeof record);
  int window = 0, icon = 0;
  ui::FillTrayIconData(record, &window, &icon, "Dravelo_WEB_MONITOR  V1.0");
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  uint32_t size;
  std::memcpy(&size, bytes, 4);
  EXPECT_EQ(size, sizeof(void*) == 4 ? 88u : 104u);
  EXPECT_EQ(record.hWnd, &window);
  EXPECT_EQ(record.uID, 1u);
  EXPECT_EQ(record.uFlags, 7u);
  EXPECT_EQ(record.uCallbackMessage, platform::kTrayCallbackMessage);
  EXPECT_EQ(record.hIcon, &icon);
  const size_t tip = sizeof(void*) == 4 ? 24 : 40;
  std::string expected = std::string("Dravelo_WEB_MONITOR  V1.0") + '\0';
  expected.resize(64, ' ');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + tip), 64), expected);

  ui::FillTrayIconData(record, &window, &icon, std::string(80, 'x'));
  EXPECT_EQ(std::strlen(record.szTip), 63u) << "a long caption is cut to fit with its NUL";
}

}  // namespace
