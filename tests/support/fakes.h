// Substitutes for the process backend and the notification area.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/declarations.h"
#include "platform/process.h"

namespace testing_support {

class FakeProcesses : public platform::Processes {
 public:
  struct Process {
    int32_t pid;
    uint64_t start_time;
    std::string program;
    std::string command_line;
    bool alive = true;
    // Ended and released by the system: it can no longer be opened.
    bool released = false;
    uint32_t exit_code = 0;
    std::string output;  // what it wrote and has not been drained yet
  };

  platform::LaunchResult Launch(const std::string& program, const std::string& command_line,
                                const std::string& working_dir,
                                const platform::EnvironmentChanges& environment) override;
  // What the launched process `pid` created at `start_time` answers.
  bool IsRunning(int32_t pid, uint64_t start_time);
  bool Terminate(int32_t pid, uint64_t start_time);
  std::optional<uint32_t> ExitCode(int32_t pid, uint64_t start_time);
  platform::PortState LoopbackPortState(int port) override {
    if (ports_reserved.count(port)) return platform::PortState::Reserved;
    return ports_in_use.count(port) ? platform::PortState::InUse : platform::PortState::Free;
  }
  std::optional<platform::PortOwner> LoopbackPortOwner(int) override { return std::nullopt; }
  void DrainOutput(int32_t pid, uint64_t start_time, std::string& kept, size_t limit);

  // Ends a process as something outside the program would.
  void KillFromOutside(int32_t pid);
  int Running() const;

  std::vector<Process> launched;
  std::set<int> ports_in_use;
  std::set<int> ports_reserved;
  std::string launch_failure;  // non-empty: launching fails with this reason
  // A launched server that ends at once, as one that cannot bind its port.
  bool servers_exit_at_once = false;
  uint32_t at_once_exit_code = 1;
  std::string at_once_output;  // what such a server writes
  int probes = 0;
  int throwing_probes = 0;  // the next probes throw, as when memory runs out
  int terminations = 0;

 private:
  class Server;
  Process* Find(int32_t pid, uint64_t start_time);
  int32_t next_pid_ = 4100;
};

class FakeNotifyArea : public platform::NotifyArea {
 public:
  bool ShellNotifyIcon(uint32_t message, const platform::NotifyIconRecord& record) override;
  // The icons present, by window and icon identifier.
  std::set<std::pair<void*, uint32_t>> icons;
  // Those whose version has been set since they were added.
  std::set<std::pair<void*, uint32_t>> versioned;
  std::vector<uint32_t> calls;
  std::string last_tip;
  // The next adds fail, as while Explorer is busy; with `failed_adds_land` the
  // icon is added all the same, as after a timeout.
  int failing_adds = 0;
  bool failed_adds_land = false;
};

}  // namespace testing_support
