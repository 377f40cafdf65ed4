// Many Start/Stop cycles of the real PHP server through the program: nothing
// may pile up (descriptors, children, memory).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/lifecycle.h"
#include "platform/process.h"
#include "support/fakes.h"
#include "support/headless_binding.h"
#include "support/posix_net.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Accepts;
using testing_support::Children;
using testing_support::FreePort;
using testing_support::KillAndReap;
using testing_support::WaitUntil;

constexpr char kPhp[] = "/usr/bin/php";
constexpr int kCycles = 200;
constexpr long kRssGrowthLimitKb = 8 * 1024;

// Polls until something accepts connections on the port, for about five seconds.
bool AcceptsSoon(int port) {
  return WaitUntil([port] { return Accepts(port); }, 2500, 2ms);
}

int OpenFds() {
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n - 1;  // the iterator's own
}

long RssKb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

std::string Megabytes(long kb) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", kb / 1024.0);
  return text;
}

std::string Panel(const ui::MainWindow& w) {
  const bool start = w.StartButton.Enabled(), stop = w.StopButton.Enabled(), port = w.TCP.Enabled();
  if (start && !stop && port) return "Stopped";
  if (!start && stop && !port) return "Running";
  return "mixed";
}

TEST(SoakTest, TwoHundredStartStopCyclesLeaveNothingBehind) {
  if (!fs::exists(kPhp)) GTEST_SKIP() << kPhp << " is not installed";
  testing_support::TempDir dir;
  fs::create_directories(dir / "php/www/public");
  fs::create_symlink(kPhp, dir / "php/php");
  dir.Write("php/www/public/index.html", "<p>soak</p>\n");
  const int port = FreePort();
  ASSERT_NE(port, 0);
  dir.Write("Dravelo_WEB_MONITOR.CFG", " 1 \r\n 0 \r\n 0 \r\n " + std::to_string(port) + " \r\n");

  testing_support::HeadlessBinding binding;
  std::unique_ptr<platform::Processes> processes = platform::MakeProcesses();
  testing_support::FakeNotifyArea area;
  app::Monitor monitor(app::Environment{binding, *processes, area, 0x0409, dir.Str()});
  monitor.StartUp();
  binding.Pump();
  ui::MainWindow& w = *monitor.MainWindow();
  GlobalVariables& g = monitor.Globals();

  const int fds_before = OpenFds();
  const long rss_before = RssKb();
  const size_t children_before = Children().size();

  int cycles = 0;
  for (; cycles < kCycles; ++cycles) {
    SCOPED_TRACE("cycle " + std::to_string(cycles + 1));
    w.StartButton.UserClicked();
    ASSERT_NE(g.ServerPid, 0);
    ASSERT_TRUE(AcceptsSoon(port)) << "the server did not come up";
    binding.Advance(500);
    ASSERT_EQ(Panel(w), "Running");
    w.StopButton.UserClicked();
    ASSERT_TRUE(binding.messages.empty()) << binding.messages[0].text;
    // A tick reaps the server once the kill has taken effect.
    for (int tick = 0; tick < 1000 && Panel(w) != "Stopped"; ++tick) {
      binding.Advance(500);
      if (Panel(w) != "Stopped") std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(Panel(w), "Stopped");
    ASSERT_EQ(g.ServerPid, 0);
  }

  const int fds_after = OpenFds();
  const long rss_after = RssKb();
  const std::vector<pid_t> left = Children();
  std::cout << "soak: " << cycles << " cycles, fds " << fds_before << " -> " << fds_after
            << ", rss " << Megabytes(rss_before) << " -> " << Megabytes(rss_after)
            << ", children left " << left.size() << "\n";

  w.Quit.UserClicked();
  for (pid_t pid : left) KillAndReap(pid);
  EXPECT_EQ(children_before, 0u);
  EXPECT_TRUE(left.empty());
  EXPECT_LE(fds_after, fds_before);
#if !defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer holds freed memory in quarantine, so RSS grows without a
  // leak; its leak checker takes the place of this bound there.
  EXPECT_LT(rss_after - rss_before, kRssGrowthLimitKb);
#endif
}

}  // namespace
