// Cost of one supervision tick, with the real POSIX probe of the server process.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/global_variables.h"
#include "platform/process.h"
#include "server/server_control.h"
#include "server/supervision.h"

namespace {

namespace fs = std::filesystem;

// The four enabled flags, as the window would hold them.
class Flags : public server::SupervisedControls {
 public:
  bool StartEnabled() const override { return start; }
  void SetStartEnabled(bool enabled) override { start = enabled; }
  void SetStopEnabled(bool enabled) override { stop = enabled; }
  void SetPortEnabled(bool enabled) override { port = enabled; }
  void SetTimerEnabled(bool enabled) override { timer = enabled; }

  void ShowRunning() { start = false, stop = true, port = false; }
  bool Running() const { return !start && stop && !port && timer; }
  bool Stopped() const { return start && !stop && port && timer; }

  bool start = true, stop = false, port = true, timer = true;
};

// A fresh installation folder whose php/php is a shell script of `script`.
fs::path Installation(const char* script) {
  char name[] = "/tmp/dravelo-tick-XXXXXX";
  const fs::path dir = mkdtemp(name) ? name : "";
  fs::create_directories(dir / "php");
  std::ofstream(dir / "php/php") << "#!/bin/sh\n" << script << "\n";
  fs::permissions(dir / "php/php", fs::perms(0755));
  return dir;
}

// ServerControl on the real backend, with that installation.
struct Rig {
  // The port lies outside the range that Start checks.
  explicit Rig(const char* script) : dir(Installation(script)) { g.ServerPort = 0; }
  ~Rig() { fs::remove_all(dir); }

  // Starts the server and tracks it.
  bool Track() {
    server.Start();
    return g.ServerPid != 0;
  }

  fs::path dir;
  GlobalVariables g;
  std::unique_ptr<platform::Processes> processes = platform::MakeProcesses();
  server::ServerControl server{g, *processes, [](const std::string&) {}, dir.string()};
  Flags flags;
};

// The steady state while the server runs: a probe that finds it alive, no change.
void BM_TickRunningServer(benchmark::State& state) {
  Rig rig("exec sleep 600");
  if (!rig.Track()) return state.SkipWithError("cannot launch sleep");
  const pid_t pid = rig.g.ServerPid;
  server::SupervisionTick(rig.g, rig.server, rig.flags);
  for (auto _ : state) server::SupervisionTick(rig.g, rig.server, rig.flags);
  const bool still_running = rig.flags.Running() && rig.g.ServerPid == pid;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  if (!still_running) state.SkipWithError("the tick lost the running server");
}

// The one tick that notices an ended server: it reaps it, switches the panel to
// Stopped and forgets the identifier. Each iteration needs a freshly ended
// child, made outside the timing (pausing adds a little overhead of its own).
void BM_TickServerJustEnded(benchmark::State& state) {
  Rig rig("exit 0");
  int noticed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!rig.Track()) {
      state.SkipWithError("cannot launch the script");
      break;
    }
    // Waits for the end without reaping, so that the tick's probe does the reaping.
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(rig.g.ServerPid), &info, WEXITED | WNOWAIT);
    rig.flags.ShowRunning();
    state.ResumeTiming();

    server::SupervisionTick(rig.g, rig.server, rig.flags);
    noticed += rig.flags.Stopped() && rig.g.ServerPid == 0;
  }
  if (noticed != static_cast<int>(state.iterations()))
    state.SkipWithError("a tick missed the ended server");
}

// Every later tick once the server has gone: ServerPid is 0, nothing to probe.
void BM_TickNoServer(benchmark::State& state) {
  Rig rig("exit 0");
  for (auto _ : state) server::SupervisionTick(rig.g, rig.server, rig.flags);
  if (!rig.flags.Stopped()) state.SkipWithError("the panel left Stopped without a server");
}

BENCHMARK(BM_TickRunningServer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickServerJustEnded)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_TickNoServer)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::cout << "goal: < 20 us per tick\n";
  return 0;
}
