// Many Start/Stop cycles of the real PHP server through the program: nothing
// may pile up (descriptors, children, memory).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/lifecycle.h"
#include "platform/process.h"
#include "support/fakes.h"
#include "support/headless_binding.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kPhp[] = "/usr/bin/php";
constexpr int kCycles = 200;
constexpr long kRssGrowthLimitKb = 8 * 1024;

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof addr;
  bind(s, reinterpret_cast<sockaddr*>(&addr), len);
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  return ntohs(addr.sin_port);
}

// Polls until something accepts connections on the port, for at most five seconds.
bool Accepts(int port) {
  for (int attempt = 0; attempt < 2500; ++attempt) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = Loopback(port);
    const bool ok = connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(s);
    if (ok) return true;
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

int OpenFds() {
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n - 1;  // the iterator's own
}

// Children of this process, ended but unreaped ones included.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(line.substr(paren + 1));
    char state;
    long ppid = 0;
    if (fields >> state >> ppid && ppid == getpid()) children.push_back(std::stoi(name));
  }
  return children;
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
    ASSERT_TRUE(Accepts(port)) << "the server did not come up";
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
  for (pid_t pid : left) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(children_before, 0u);
  EXPECT_TRUE(left.empty());
  EXPECT_LE(fds_after, fds_before);
  EXPECT_LT(rss_after - rss_before, kRssGrowthLimitKb);
}

}  // namespace
