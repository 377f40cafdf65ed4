// Requests per second that PHP's built-in server answers with its log drained by
// the program, as the supervision tick drains it every 500 ms, against the same
// server with its output on the null device. Prints one line per figure.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "server/command_line.h"
#include "server/messages.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kPhp[] = "/usr/bin/php";
constexpr auto kRound = std::chrono::seconds(3);
constexpr int kRounds = 5;
constexpr auto kTick = std::chrono::milliseconds(500);

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// One GET of the page; true when an answer came.
bool Get(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  // A server held up by a full pipe answers late, not never.
  const timeval wait{1, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool answered = false;
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const char request[] = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(s, request, sizeof request - 1, 0) > 0) {
      char buffer[4096];
      while (recv(s, buffer, sizeof buffer, 0) > 0) answered = true;
    }
  }
  close(s);
  return answered;
}

void WaitServing(int port) {
  for (int i = 0; i < 200 && !Get(port); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Requests answered in one round; `tick` runs every kTick meanwhile.
template <class Tick>
double RequestsPerSecond(int port, Tick tick) {
  const Clock::time_point start = Clock::now();
  Clock::time_point next_tick = start + kTick;
  long answered = 0;
  while (Clock::now() - start < kRound) {
    answered += Get(port);
    if (Clock::now() >= next_tick) tick(), next_tick += kTick;
  }
  return answered / std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  if (!fs::exists(kPhp)) {
    std::printf("log_drain_bench: %s is not installed\n", kPhp);
    return 1;
  }
  const fs::path dir = fs::temp_directory_path() / ("dravelo-drain-" + std::to_string(getpid()));
  fs::create_directories(dir / "php/www/public");
  fs::create_symlink(kPhp, dir / "php/php");
  std::ofstream(dir / "php/www/public/index.php") << "<?php echo 'bench page';\n";
  fs::current_path(dir);

  const int drained_port = FreePort();
  auto processes = platform::MakeProcesses();
  const platform::LaunchResult drained = processes->Launch(
      (dir / "php/php").string(), server::ServerCommandLine(drained_port), {}, {});
  if (!drained.server) {
    std::printf("log_drain_bench: %s\n", drained.error.c_str());
    return 1;
  }
  std::string kept;
  const auto drain = [&] { drained.server->DrainOutput(kept, server::kEarlyOutputBytes); };

  const int quiet_port = FreePort();
  const std::string address = "127.0.0.1:" + std::to_string(quiet_port);
  std::vector<std::string> words = {kPhp, "-S", address, "-t", "php/www/public/"};
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t quiet = 0;
  posix_spawn(&quiet, kPhp, &actions, nullptr, argv.data(), environ);

  WaitServing(drained_port);
  WaitServing(quiet_port);
  std::vector<double> with_pipe, with_null;
  for (int round = 0; round < kRounds; ++round) {
    with_pipe.push_back(RequestsPerSecond(drained_port, drain));
    with_null.push_back(RequestsPerSecond(quiet_port, [] {}));
  }
  drained.server->Terminate();
  kill(quiet, SIGKILL);
  waitpid(quiet, nullptr, 0);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);

  const double pipe = Median(with_pipe), null = Median(with_null);
  std::printf("requests_per_second log_drained %.0f\n", pipe);
  std::printf("requests_per_second log_to_null_device %.0f\n", null);
  std::printf("ratio %.3f (goal: within 5%%, %d rounds of %lld s each, alternating, medians)\n",
              pipe / null, kRounds, static_cast<long long>(kRound.count()));
  return 0;
}
