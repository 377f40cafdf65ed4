#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/global_variables.h"
#include "platform/process.h"
#include "server/command_line.h"
#include "server/server_control.h"
#include "support/fakes.h"

namespace {

struct LaunchCall {
  std::string program, command_line, working_dir;
};

// Records every call; answers from fields the test sets.
class RecordingProcesses : public platform::Processes {
 public:
  // The launched server: its calls are recorded with the identifier and start time it got.
  class Server : public platform::LaunchedServer {
   public:
    Server(RecordingProcesses& p, int32_t pid, uint64_t start) : p_(p), pid_(pid), start_(start) {}
    int32_t Pid() const override { return pid_; }
    bool Identifies(int32_t pid) const override { return pid == pid_; }
    bool IsRunning() override { return p_.IsRunning(pid_, start_); }
    bool Terminate() override { return p_.Terminate(pid_, start_); }
    std::optional<uint32_t> ExitCode() const override { return std::nullopt; }
    void DrainOutput(std::string&, size_t) override {}

   private:
    RecordingProcesses& p_;
    int32_t pid_;
    uint64_t start_;
  };

  platform::LaunchResult Launch(const std::string& program, const std::string& command_line,
                                const std::string& working_dir,
                                const platform::EnvironmentChanges&) override {
    launches.push_back({program, command_line, working_dir});
    if (!launch_error.empty()) return {nullptr, launch_error};
    return {std::make_unique<Server>(*this, next_pid, next_start_time), {}};
  }
  bool IsRunning(int32_t pid, uint64_t start_time) {
    probes.push_back({pid, start_time});
    return running;
  }
  bool Terminate(int32_t pid, uint64_t start_time) {
    terminations.push_back({pid, start_time});
    return openable;
  }
  platform::PortState LoopbackPortState(int port) override {
    port_checks.push_back(port);
    return port == busy_port ? busy_state : platform::PortState::Free;
  }
  std::optional<platform::PortOwner> LoopbackPortOwner(int) override { return owner; }

  int Calls() const {
    return static_cast<int>(launches.size() + probes.size() + terminations.size() +
                            port_checks.size());
  }

  std::vector<LaunchCall> launches;
  std::vector<std::pair<int32_t, uint64_t>> probes, terminations;
  std::vector<int> port_checks;
  std::string launch_error;
  int32_t next_pid = 4242;
  uint64_t next_start_time = 133'000'000'000ULL;
  bool running = true;
  bool openable = true;
  int busy_port = -1;
  platform::PortState busy_state = platform::PortState::InUse;
  std::optional<platform::PortOwner> owner;
};

#ifdef _WIN32
const char kInstallDir[] = "C:\\Program Files\\Dravelo";
const char kInstalledInterpreter[] = "C:\\Program Files\\Dravelo\\php\\php.exe";
#else
const char kInstallDir[] = "/opt/Dravelo WEB";
const char kInstalledInterpreter[] = "/opt/Dravelo WEB/php/php";
#endif

class ServerControlTest : public ::testing::Test {
 protected:
  server::ServerControl Make(std::string install_dir = kInstallDir) {
    return server::ServerControl(
        g, processes, [this](const std::string& t) { warnings.push_back(t); },
        std::move(install_dir));
  }

  GlobalVariables g;
  RecordingProcesses processes;
  std::vector<std::string> warnings;
};

TEST(CommandLine, PortIsPlacedInDecimal) {
  const struct {
    int32_t port;
    const char* expected;
  } cases[] = {
      {80, "php\\php -S 127.0.0.1:80 -t php/www/public/"},
      {81, "php\\php -S 127.0.0.1:81 -t php/www/public/"},
      {0, "php\\php -S 127.0.0.1:0 -t php/www/public/"},
      {-5, "php\\php -S 127.0.0.1:-5 -t php/www/public/"},
      {65535, "php\\php -S 127.0.0.1:65535 -t php/www/public/"},
      {8, "php\\php -S 127.0.0.1:8 -t php/www/public/"},
  };
  for (const auto& c : cases) EXPECT_EQ(server::ServerCommandLine(c.port), c.expected) << c.port;
}

TEST_F(ServerControlTest, NoTrackedServerMakesNoPlatformCall) {
  auto control = Make();
  g.ServerPid = 0;
  // The shared ServerPid decides, whatever the argument says.
  EXPECT_FALSE(control.IsServerRunning(0));
  EXPECT_FALSE(control.IsServerRunning(777));
  EXPECT_TRUE(control.KillServer(0));
  EXPECT_TRUE(control.KillServer(777));
  control.Stop();
  EXPECT_EQ(processes.Calls(), 0);
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ServerControlTest, TrackedServerIsAskedWithItsStartTime) {
  auto control = Make();
  processes.next_pid = 900;
  processes.next_start_time = 55;
  control.Start();

  processes.running = true;
  EXPECT_TRUE(control.IsServerRunning(g.ServerPid));
  processes.running = false;
  EXPECT_FALSE(control.IsServerRunning(g.ServerPid));
  processes.openable = true;
  EXPECT_TRUE(control.KillServer(g.ServerPid));
  processes.openable = false;
  EXPECT_FALSE(control.KillServer(g.ServerPid));

  const std::vector<std::pair<int32_t, uint64_t>> expected = {{900, 55}, {900, 55}};
  EXPECT_EQ(processes.probes, expected);
  EXPECT_EQ(processes.terminations, expected);
}

TEST_F(ServerControlTest, Stop) {
  auto control = Make();
  processes.next_pid = 900;
  control.Start();

  processes.openable = true;
  control.Stop();
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(g.ServerPid, 900);

  processes.openable = false;
  control.Stop();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "Unable to access running Webserver.");
  EXPECT_EQ(g.ServerPid, 900);  // the tick clears it, not Stop
  EXPECT_EQ(processes.terminations.size(), 2u);
}

TEST_F(ServerControlTest, StartLaunchesTheInstalledInterpreter) {
  auto control = Make();
  g.ServerPort = 8080;
  control.Start();

  ASSERT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(processes.launches[0].program, kInstalledInterpreter);
  EXPECT_EQ(processes.launches[0].command_line, "php\\php -S 127.0.0.1:8080 -t php/www/public/");
  EXPECT_EQ(processes.launches[0].working_dir, kInstallDir);
  EXPECT_EQ(processes.port_checks, std::vector<int>{8080});
  EXPECT_EQ(g.ServerPid, 4242);
  EXPECT_TRUE(warnings.empty());

  // Pressed again before the tick: the tracked server is not replaced by a second one.
  processes.next_pid = 5000;
  control.Start();
  EXPECT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(g.ServerPid, 4242);
}

TEST_F(ServerControlTest, StartWithoutInstallDirUsesTheCurrentDirectory) {
  auto control = Make("");
  control.Start();
  ASSERT_EQ(processes.launches.size(), 1u);
  const std::string& program = processes.launches[0].program;
  EXPECT_TRUE(std::filesystem::path(program).is_absolute()) << program;
  EXPECT_EQ(program,
            platform::JoinPath(platform::CurrentDirectory(), platform::kInterpreterRelativePath));
  EXPECT_EQ(processes.launches[0].working_dir, "");  // inherited
}

TEST_F(ServerControlTest, StartRefusesAPortInUseReservedOrUnchecked) {
  auto control = Make();
  g.ServerPort = 8081;
  processes.busy_port = 8081;
  for (const auto state : {platform::PortState::InUse, platform::PortState::Reserved,
                           platform::PortState::Unchecked}) {
    processes.busy_state = state;
    control.Start();
  }
  EXPECT_TRUE(processes.launches.empty());
  EXPECT_EQ(g.ServerPid, 0);
  EXPECT_EQ(warnings,
            (std::vector<std::string>{"TCP port 8081 is already in use.",
                                      "TCP port 8081 is reserved by the system.",
                                      "TCP port 8081 cannot be checked: the system's network "
                                      "library could not be loaded."}));

  // Who holds it, where the system tells.
  processes.busy_state = platform::PortState::InUse;
  warnings.clear();
  for (const auto& owner : {platform::PortOwner{1234, "httpd.exe"}, platform::PortOwner{1234, ""},
                            platform::PortOwner{4, "", true}}) {
    processes.owner = owner;
    control.Start();
  }
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "TCP port 8081 is already in use by httpd.exe (process 1234).",
                          "TCP port 8081 is already in use by process 1234.",
                          "TCP port 8081 is already in use by Windows itself (process 4): "
                          "HTTP.sys holds it for a service, such as IIS, WinRM or a URL "
                          "reservation."}));

  // Freed again, the same Start goes through.
  processes.busy_port = -1;
  control.Start();
  EXPECT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(g.ServerPid, 4242);

  // That server has ended; the system names the socket that a program it started holds by
  // the server's identifier.
  processes.running = false;
  control.IsServerRunning(g.ServerPid);
  g.ServerPid = 0;
  processes.busy_port = 8081;
  g.AppName = "Dravelo_WEB_MONITOR";
  warnings.clear();
  for (const int32_t pid : {4242, 4243}) {
    processes.owner = platform::PortOwner{pid, "php.exe"};
    control.Start();
  }
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "TCP port 8081 is still in use by a program that the Webserver "
                          "started. It ends when Dravelo_WEB_MONITOR is quit.",
                          "TCP port 8081 is already in use by php.exe (process 4243)."}));
}

TEST_F(ServerControlTest, StartReportsALaunchFailure) {
  auto control = Make();
  processes.launch_error = "The system cannot find the file specified.";
  control.Start();
  EXPECT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(g.ServerPid, 0);
  EXPECT_EQ(warnings,
            std::vector<std::string>{
                "Unable to start Webserver.\r\nThe system cannot find the file specified."});
}

// A port the check finds in use is refused: the range's edges are checked, what lies outside
// it is launched unchecked.
TEST_F(ServerControlTest, PortsInTheRangeAreCheckedAndOthersLaunchedUnchecked) {
  const struct {
    int32_t port;
    bool checked;
    const char* command_line;
  } cases[] = {
      {0, false, "php\\php -S 127.0.0.1:0 -t php/www/public/"},
      {-5, false, "php\\php -S 127.0.0.1:-5 -t php/www/public/"},
      {65536, false, "php\\php -S 127.0.0.1:65536 -t php/www/public/"},
      {1, true, nullptr},
      {65535, true, nullptr},
  };
  for (const auto& c : cases) {
    GlobalVariables fresh;
    RecordingProcesses recorder;
    recorder.busy_port = c.port;
    fresh.ServerPort = c.port;
    server::ServerControl control(
        fresh, recorder, [](const std::string&) {}, kInstallDir);
    control.Start();
    EXPECT_EQ(recorder.port_checks, c.checked ? std::vector<int>{c.port} : std::vector<int>{})
        << c.port;
    if (c.checked) {
      EXPECT_TRUE(recorder.launches.empty()) << c.port;
      continue;
    }
    ASSERT_EQ(recorder.launches.size(), 1u) << c.port;
    EXPECT_EQ(recorder.launches[0].command_line, c.command_line);
    EXPECT_EQ(fresh.ServerPid, 4242) << c.port;
  }
}

// A server that ends by itself within 2 s of its launch is reported with its exit code
// and its first words, gathered from the drains' pieces.
TEST(EarlyEndTest, ItsStatusAndWordsAreReported) {
  const std::string ended = "The Webserver ended right after it was started (exit code ";
  const struct {
    uint32_t code;
    std::vector<std::string> pieces;
    std::string report;
    int64_t seen_ms = 2000;  // when the end is seen
  } cases[] = {
      {0xC000007B,
       {},
       "0xC000007B).\r\nphp.exe and one of its DLLs are built for different bitness: use the "
       "32-bit or the 64-bit ones throughout."},
      {0xC0000139,
       {},
       "0xC0000139).\r\nA DLL of another PHP version was found: use the DLLs that came with "
       "this php.exe."},
      {0xC0000005, {"x"}, "0xC0000005).\r\nPHP crashed.\r\nx"},
      {0xC0000409, {}, "0xC0000409).\r\nPHP ended at a fail-fast check."},
      {0xC0000000, {}, "0xC0000000)."},
      {0xBFFFFFFF, {}, "3221225471)."},
      {1, {"a\x7f\x07\tb", "\xc3\xa4\xe2\x82\xac"}, "1):\r\na b\xc3\xa4\xe2\x82\xac"},
      {1, {"1\n2\n3\n4\n5\n", "6\n7\n8\n9\n"}, "1):\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8"},
      {1,
       {std::string(2000, 'a'), std::string(100, 'b')},
       "1):\r\n" + std::string(2000, 'a') + std::string(48, 'b')},
      {1, {}, "", 2001},
  };
  for (const auto& c : cases) {
    GlobalVariables g;
    testing_support::FakeProcesses processes;
    std::vector<std::string> warnings;
    int64_t now_ms = 0;
    server::ServerControl control(
        g, processes, [&](const std::string& t) { warnings.push_back(t); }, kInstallDir,
        [&] { return now_ms; });
    control.Start();
    for (const std::string& piece : c.pieces)
      processes.launched[0].output = piece, control.DrainServerOutput();
    processes.launched[0].exit_code = c.code;
    processes.KillFromOutside(g.ServerPid);
    now_ms = c.seen_ms;
    EXPECT_FALSE(control.IsServerRunning(g.ServerPid));
    control.ServerGone();
    EXPECT_EQ(warnings, c.report.empty() ? std::vector<std::string>{}
                                         : std::vector<std::string>{ended + c.report});
  }
}

}  // namespace
