// The POSIX backend against Debian's real PHP interpreter.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/global_variables.h"
#include "platform/process.h"
#include "server/command_line.h"
#include "server/server_control.h"
#include "support/posix_net.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Ended;
using testing_support::FreePort;
using testing_support::HttpGet;
using testing_support::KillAndReap;
using testing_support::Listener;
using testing_support::WaitUntil;

constexpr char kPhp[] = "/usr/bin/php";
constexpr char kPage[] = "dravelo process test page";

// Polls for the test page.
bool ServesPage(int port) { return testing_support::ServesPage(port, kPage, 100, 50ms); }

class ProcessPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kPhp)) GTEST_SKIP() << kPhp << " is not installed";
    fs::create_directories(install_ / "php/www/public");
    fs::create_symlink(kPhp, install_ / "php/php");
    install_.Write("php/www/public/index.html", std::string("<p>") + kPage + "</p>\n");
    g_.ServerPort = FreePort();
    ASSERT_NE(g_.ServerPort, 0);
  }

  void TearDown() override {
    // Only identifiers that are still our unreaped children are signalled.
    for (pid_t pid : ours_)
      if (waitpid(pid, nullptr, WNOHANG) == 0) KillAndReap(pid);
  }

  // Starts the server and remembers it for TearDown.
  void Start() {
    control_.Start();
    if (g_.ServerPid != 0) ours_.push_back(g_.ServerPid);
  }

  // IsServerRunning polled until it turns false, a bounded number of times.
  bool StopsRunning() {
    return WaitUntil([this] { return !control_.IsServerRunning(g_.ServerPid); }, 100, 20ms);
  }

  testing_support::TempDir install_;
  GlobalVariables g_;
  std::unique_ptr<platform::Processes> processes_ = platform::MakeProcesses();
  std::vector<std::string> warnings_;
  server::ServerControl control_{
      g_, *processes_, [this](const std::string& t) { warnings_.push_back(t); }, install_.Str()};
  std::vector<pid_t> ours_;
};

TEST_F(ProcessPosixTest, ServerLivesUntilKilledFromOutside) {
  Start();
  ASSERT_NE(g_.ServerPid, 0) << (warnings_.empty() ? "" : warnings_[0]);
  EXPECT_TRUE(warnings_.empty());
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  EXPECT_TRUE(control_.IsServerRunning(g_.ServerPid));

  // A second Start while one is tracked launches nothing.
  const int32_t first = g_.ServerPid;
  control_.Start();
  EXPECT_EQ(g_.ServerPid, first);
  EXPECT_TRUE(warnings_.empty());

  // A process it started keeps the write end of its output pipe (here this test does).
  const int write_end = open(("/proc/" + std::to_string(first) + "/fd/2").c_str(), O_WRONLY);
  ASSERT_GE(write_end, 0);
  ASSERT_EQ(kill(g_.ServerPid, SIGKILL), 0);
  EXPECT_TRUE(StopsRunning());
  // Once what was waiting is read, the read end is closed all the same.
  control_.DrainServerOutput();
  pollfd closed{write_end, POLLOUT, 0};
  EXPECT_EQ(poll(&closed, 1, 0), 1);
  EXPECT_TRUE(closed.revents & POLLERR) << "the read end is still open";
  close(write_end);
  // Reaped: the identifier is no longer ours to terminate.
  EXPECT_FALSE(control_.KillServer(g_.ServerPid));
  EXPECT_FALSE(control_.IsServerRunning(g_.ServerPid));
}

TEST_F(ProcessPosixTest, StopTerminatesTheServer) {
  Start();
  ASSERT_NE(g_.ServerPid, 0);
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  control_.Stop();
  EXPECT_TRUE(warnings_.empty());
  EXPECT_TRUE(StopsRunning());
  EXPECT_TRUE(HttpGet(g_.ServerPort).empty());

  // Gone and reaped: Stop now warns, and the port is free for the next Start.
  control_.Stop();
  EXPECT_EQ(warnings_, std::vector<std::string>{"Unable to access running Webserver."});
  warnings_.clear();
  g_.ServerPid = 0;
  Start();
  ASSERT_NE(g_.ServerPid, 0) << (warnings_.empty() ? "" : warnings_[0]);
  EXPECT_TRUE(ServesPage(g_.ServerPort));
}

TEST_F(ProcessPosixTest, IdentifierOfAnotherProcessIsLeftAlone) {
  const pid_t stranger = fork();
  ASSERT_GE(stranger, 0);
  if (stranger == 0) {
    pause();
    _exit(0);
  }
  ours_.push_back(stranger);

  g_.ServerPid = stranger;
  EXPECT_FALSE(control_.IsServerRunning(g_.ServerPid));
  EXPECT_FALSE(control_.KillServer(g_.ServerPid));
  control_.Stop();
  EXPECT_EQ(warnings_, std::vector<std::string>{"Unable to access running Webserver."});
  EXPECT_EQ(waitpid(stranger, nullptr, WNOHANG), 0) << "the stranger was ended";
  EXPECT_EQ(kill(stranger, 0), 0);
}

TEST_F(ProcessPosixTest, AnotherIdentifierIsNotOurServer) {
  Start();
  ASSERT_NE(g_.ServerPid, 0);
  ASSERT_TRUE(ServesPage(g_.ServerPort));

  const int32_t real = g_.ServerPid;
  g_.ServerPid = real + 1;
  EXPECT_FALSE(control_.IsServerRunning(g_.ServerPid));
  EXPECT_FALSE(control_.KillServer(g_.ServerPid));
  EXPECT_TRUE(ServesPage(g_.ServerPort));

  g_.ServerPid = real;
  EXPECT_TRUE(control_.IsServerRunning(g_.ServerPid));
  EXPECT_TRUE(control_.KillServer(g_.ServerPid));
  EXPECT_TRUE(StopsRunning());
}

// The state a user without the right to bind privileged ports sees, or -1.
int PortStateAsUnprivilegedUser(int port) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(static_cast<int>(platform::MakeProcesses()->LoopbackPortState(port)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) < 100 ? WEXITSTATUS(status) : -1;
}

TEST_F(ProcessPosixTest, PortInUseOrPrivilegedIsRefused) {
  Listener listener;
  ASSERT_EQ(listener.Listen(g_.ServerPort), g_.ServerPort);

  Start();
  EXPECT_EQ(g_.ServerPid, 0);
  // The listener is found in the kernel's table, and named.
  EXPECT_EQ(warnings_, std::vector<std::string>{"TCP port " + std::to_string(g_.ServerPort) +
                                                " is already in use by process_posix_test "
                                                "(process " +
                                                std::to_string(getpid()) + ")."});
  EXPECT_EQ(processes_->LoopbackPortState(g_.ServerPort), platform::PortState::InUse);
  listener.Close();
  EXPECT_EQ(processes_->LoopbackPortState(g_.ServerPort), platform::PortState::Free);
  // Also on every address: IPv4's, and IPv6's listening for both (dual-stack).
  const std::vector<std::string> named = warnings_;
  for (const char* address : {"0.0.0.0", "::"}) {
    ASSERT_EQ(listener.Listen(g_.ServerPort, address), g_.ServerPort) << address;
    warnings_.clear();
    Start();
    EXPECT_EQ(warnings_, named) << address;
    listener.Close();
  }

  // bind gives EACCES for a port below the unprivileged range.
  std::ifstream start_file("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int unprivileged_start = 0;
  start_file >> unprivileged_start;
  if (unprivileged_start < 2) GTEST_SKIP() << "every port may be bound by anyone here";
  const int state = PortStateAsUnprivilegedUser(unprivileged_start - 1);
  ASSERT_NE(state, -1) << "no unprivileged user to test with";
  EXPECT_EQ(state, static_cast<int>(platform::PortState::Reserved));
}

// A server that writes megabytes of log is never held up by its pipe, and of it
// only the first kEarlyOutputBytes are kept; a drain reads at most kDrainBytes.
TEST_F(ProcessPosixTest, ALoudServerIsDrainedAndKeepsServing) {
  fs::remove(install_ / "php/php");
  install_.Write("php/php", std::string("#!/bin/sh\nhead -c 5000000 /dev/zero | tr '\\0' x >&2\n") +
                                "exec " + kPhp + " \"$@\"\n");
  fs::permissions(install_ / "php/php", fs::perms(0755));
  const platform::LaunchResult launched =
      processes_->Launch((install_ / "php/php").string(), server::ServerCommandLine(g_.ServerPort),
                         install_.Str(), {});
  ASSERT_TRUE(launched.server);
  ours_.push_back(launched.server->Pid());
  std::string kept;
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::string read;
        launched.server->DrainOutput(read, SIZE_MAX);
        EXPECT_LE(read.size(), platform::kDrainBytes);
        platform::KeepUpTo(kept, server::kEarlyOutputBytes, read);
        return HttpGet(g_.ServerPort).find(kPage) != std::string::npos;
      },
      200, 50ms))
      << "the server waits on a full pipe";
  EXPECT_EQ(kept, std::string(server::kEarlyOutputBytes, 'x'));

  // A quieter one's words wait in the pipe: one drain reads them all, not its first read.
  launched.server->Terminate();
  install_.Write("php/php", "#!/bin/sh\nhead -c 300000 /dev/zero | tr '\\0' x >&2\nexec " +
                                std::string(kPhp) + " \"$@\"\n");
  const platform::LaunchResult quiet =
      processes_->Launch((install_ / "php/php").string(), server::ServerCommandLine(g_.ServerPort),
                         install_.Str(), {});
  ASSERT_TRUE(quiet.server);
  ours_.push_back(quiet.server->Pid());
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  kept.clear();
  quiet.server->DrainOutput(kept, SIZE_MAX);
  EXPECT_EQ(kept.substr(0, 300000), std::string(300000, 'x'));
}

TEST_F(ProcessPosixTest, MissingInterpreterIsReported) {
  fs::remove(install_ / "php/php");
  Start();
  EXPECT_EQ(g_.ServerPid, 0);
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_EQ(warnings_[0], std::string("Unable to start Webserver.\r\n") + std::strerror(ENOENT));

  // Launched directly, the backend says the same.
  const platform::LaunchResult result =
      processes_->Launch((install_ / "php/php").string(), "php\\php -v", install_.Str(), {});
  EXPECT_FALSE(result.server);
  EXPECT_EQ(result.error, std::strerror(ENOENT));
}

TEST_F(ProcessPosixTest, ServerEndsWhenTheProgramIsKilled) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t program = fork();
  ASSERT_GE(program, 0);
  if (program == 0) {
    // The program: starts its server, reports it and waits to be killed.
    close(fds[0]);
    GlobalVariables g;
    g.ServerPort = g_.ServerPort;
    auto processes = platform::MakeProcesses();
    server::ServerControl control(
        g, *processes, [](const std::string&) {}, install_.Str());
    control.Start();
    const int32_t pid = g.ServerPid;
    if (write(fds[1], &pid, sizeof pid) != sizeof pid) _exit(1);
    for (;;) pause();
  }
  close(fds[1]);
  int32_t server = 0;
  ASSERT_EQ(read(fds[0], &server, sizeof server), static_cast<ssize_t>(sizeof server));
  close(fds[0]);
  ASSERT_NE(server, 0);
  ASSERT_TRUE(ServesPage(g_.ServerPort));

  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  const bool ended = WaitUntil([server] { return Ended(server); }, 100, 20ms);
  if (!ended) kill(server, SIGKILL);
  EXPECT_TRUE(ended) << "the server ran on without the program";
  EXPECT_TRUE(HttpGet(g_.ServerPort).empty());
}

}  // namespace
