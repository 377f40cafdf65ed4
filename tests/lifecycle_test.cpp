// Start-up and shutdown of the whole program, on the headless binding.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "support/monitor_harness.h"

namespace {

using testing_support::kDefaultSettingsBytes;
using testing_support::MonitorHarness;

TEST(LifecycleTest, StartUpPublishesNameLogoAndIconAndNeverShowsTheStartupWindow) {
  MonitorHarness h;
  app::Monitor& m = h.StartOnly();
  app::StartupWindow& qor = *m.Startup();
  EXPECT_EQ(qor.lblVersion.Caption(), "Version 1.0");
  EXPECT_EQ(qor.lblProductName.Caption(), "Dravelo_WEB_Monitor");
  EXPECT_EQ(h.G().AppName, "Dravelo_WEB_MONITOR");
  EXPECT_EQ(h.G().LogoPicture, &qor.Image1);
  ASSERT_NE(h.G().AppIcon, nullptr);
  EXPECT_EQ(h.G().AppIcon, qor.Icon());

  ui::MainWindow& main = h.Main();
  EXPECT_EQ(main.Caption(), "Dravelo_WEB_MONITOR  V1.0");
  EXPECT_EQ(main.Icon(), h.G().AppIcon);
  EXPECT_TRUE(main.Visible());
  EXPECT_TRUE(h.binding.Ended() == false);
  // The modal display goes on while the window is shown, so the start-up window stays loaded.
  EXPECT_TRUE(qor.Loaded());
  EXPECT_FALSE(qor.Visible());
  EXPECT_EQ(qor.NativeHandle(), nullptr) << "the start-up window costs no native window";
  EXPECT_NE(main.NativeHandle(), nullptr);
  EXPECT_EQ(m.TrayIconData().hWnd, main.NativeHandle()) << "the icon record names the window";
}

TEST(LifecycleTest, StartAndQuitWithoutTouchingAnythingLeavesTheDefaultsAndNothingRunning) {
  MonitorHarness h;
  app::Monitor& m = h.Make();
  bool startup_window_seen = false;
  h.binding.Script({[&] { h.binding.Advance(1200); },
                    [&] {
                      startup_window_seen = m.Startup()->Visible();
                      h.Main().Quit.UserClicked();
                    }});
  m.Run();

  EXPECT_TRUE(h.binding.Ended());
  EXPECT_FALSE(startup_window_seen);
  EXPECT_FALSE(m.Startup()->Loaded());
  EXPECT_FALSE(h.Main().Loaded());
  EXPECT_EQ(h.Settings(), kDefaultSettingsBytes);
  EXPECT_TRUE(h.processes.launched.empty());
  EXPECT_TRUE(h.area.icons.empty());
  EXPECT_TRUE(h.binding.messages.empty());
  // Quit and the destruction of the window object both ran the sequence.
  EXPECT_EQ(h.area.calls, (std::vector<uint32_t>{platform::kNimDelete, platform::kNimDelete}));
  EXPECT_FALSE(std::filesystem::exists(h.dir / "Dravelo_WEB_MONITOR.CFG.tmp"));
}

TEST(LifecycleTest, QuitStopsARunningServerAndTheSecondRunAddressesNoIdentifier) {
  MonitorHarness h;
  app::Monitor& m = h.Make();
  h.binding.Script({[&] { h.Main().StartButton.UserClicked(); }, [&] { h.binding.Advance(500); },
                    [&] {
                      EXPECT_FALSE(h.Main().StartButton.Enabled());
                      EXPECT_EQ(h.processes.Running(), 1);
                      h.Main().Quit.UserClicked();
                    }});
  m.Run();
  EXPECT_EQ(h.processes.Running(), 0);
  EXPECT_EQ(h.processes.terminations, 1) << "the second run must not terminate a reused identifier";
  EXPECT_EQ(h.G().ServerPid, 0);
  EXPECT_TRUE(h.binding.messages.empty());
}

TEST(LifecycleTest, ClosingTheWindowRunsTheShutdownSequenceWhenTheObjectIsDestroyed) {
  MonitorHarness h;
  app::Monitor& m = h.Make();
  h.binding.Script({[&] { h.Main().TCP.UserEdited("8080"); },
                    [&] { h.Main().StartButton.UserClicked(); }, [&] { h.Main().UserClosed(); }});
  m.Run();
  EXPECT_TRUE(h.binding.Ended());
  EXPECT_EQ(h.processes.Running(), 0);
  EXPECT_EQ(h.Settings(), " 1 \r\n 0 \r\n 0 \r\n 8080 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST(LifecycleTest, AFailedSaveIsReportedOnceNamingTheFileAndShutdownGoesOn) {
  MonitorHarness h;
  // A folder where the settings file should be: it can be neither read nor replaced.
  std::filesystem::create_directory(h.dir / "Dravelo_WEB_MONITOR.CFG");
  app::Monitor& m = h.Make();
  h.binding.Script(
      {[&] { h.Main().StartButton.UserClicked(); }, [&] { h.Main().Quit.UserClicked(); }});
  m.Run();
  ASSERT_EQ(h.binding.messages.size(), 1u);
  const auto& message = h.binding.messages[0];
  EXPECT_EQ(message.caption, "Dravelo_WEB_Monitor");
  EXPECT_EQ(message.icon, ui::MessageIcon::Warning);
  EXPECT_NE(message.text.find((h.dir / "Dravelo_WEB_MONITOR.CFG").string()), std::string::npos)
      << message.text;
  EXPECT_EQ(h.processes.Running(), 0);
  EXPECT_TRUE(std::filesystem::is_directory(h.dir / "Dravelo_WEB_MONITOR.CFG"));
  EXPECT_EQ(h.area.calls.size(), 2u);
}

// Log-off, shutdown or restart while the window sits hidden in the notification area
// with the server running: a file that can be written, one another program holds for
// a moment or throughout (the C runtime opens without delete sharing on Windows; POSIX
// replaces files that are held open), one marked read-only, and a folder in its place.
TEST(LifecycleTest, TheEndOfTheSessionRunsTheShutdownSequenceWithoutABox) {
  const std::string german = " 2 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";
  enum Fault { kNone, kHeldForAMoment, kHeldThroughout, kReadOnly, kFolder };
  for (const Fault fault : {kNone, kHeldForAMoment, kHeldThroughout, kReadOnly, kFolder}) {
#ifndef _WIN32
    if (fault == kHeldForAMoment || fault == kHeldThroughout) continue;
#endif
    SCOPED_TRACE(fault);
    MonitorHarness h;
    const auto cfg = h.dir / "Dravelo_WEB_MONITOR.CFG";
    h.dir.Write("Dravelo_WEB_MONITOR.CFG", kDefaultSettingsBytes);
    std::optional<std::ifstream> held;
    int pauses = 0, waited_ms = 0;
    h.pause = [&](int ms) {
      EXPECT_GT(ms, 0);
      waited_ms += ms;
      if (++pauses == 2 && fault == kHeldForAMoment) held.reset();
    };
    app::Monitor& m = h.Make();
    size_t icons_before = 0;
    h.binding.Script({[&] { h.Main().Language.UserSelected(1); },
                      [&] { h.Main().StartButton.UserClicked(); }, [&] { h.binding.Advance(500); },
                      [&] { h.Main().UserChangedState(ui::WindowState::Minimised); },
                      [&] {
                        icons_before = h.area.icons.size();
                        ASSERT_EQ(h.processes.Running(), 1);
                        if (fault == kHeldForAMoment || fault == kHeldThroughout)
                          held.emplace(cfg, std::ios::binary);
                        if (fault == kReadOnly)
                          std::filesystem::permissions(cfg, std::filesystem::perms::owner_read);
                        if (fault == kFolder) {
                          std::filesystem::remove(cfg);
                          std::filesystem::create_directory(cfg);
                        }
                        h.Main().UserEndedSession();
                      }});
    m.Run();
    held.reset();
    EXPECT_EQ(icons_before, 1u);
    EXPECT_TRUE(h.binding.messages.empty()) << h.binding.messages[0].text;
    EXPECT_EQ(h.processes.Running(), 0);
    EXPECT_TRUE(h.area.icons.empty());
    EXPECT_FALSE(h.Main().Loaded());
    // Only a file held by another program is waited for, and for about a second at most.
    EXPECT_EQ(pauses, fault == kHeldForAMoment ? 2 : fault == kHeldThroughout ? 4 : 0);
    EXPECT_LE(waited_ms, 1000);
    if (fault == kFolder) {
      EXPECT_TRUE(std::filesystem::is_directory(cfg));
    } else {
      EXPECT_EQ(h.Settings(),
                fault == kNone || fault == kHeldForAMoment ? german : kDefaultSettingsBytes);
      std::filesystem::permissions(cfg, std::filesystem::perms::owner_all);
    }
  }
}

TEST(LifecycleTest, StartMinimisedShowsNoWindowKeepsTheIconAndLivesUntilQuit) {
  MonitorHarness h;
  h.dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 1 \r\n");
  app::Monitor& m = h.Make();
  bool alive_after_modal = false;
  size_t icons_while_hidden = 0;
  bool shown = true;
  h.binding.Script({[&] { h.binding.Advance(5000); },
                    [&] {
                      alive_after_modal = !h.binding.Ended() && !m.Startup()->Loaded();
                      icons_while_hidden = h.area.icons.size();
                      shown = h.Main().Visible();
                      h.Main().Quit.UserClicked();
                    }});
  m.Run();
  EXPECT_TRUE(alive_after_modal);
  EXPECT_FALSE(shown);
  EXPECT_EQ(icons_while_hidden, 1u);
  EXPECT_EQ(h.area.last_tip, "Dravelo_WEB_MONITOR  V1.0");
  EXPECT_TRUE(h.area.icons.empty()) << "shutdown removes the icon";
  EXPECT_EQ(h.Settings(), " 1 \r\n 1 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

}  // namespace
