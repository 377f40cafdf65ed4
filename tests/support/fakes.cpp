#include "support/fakes.h"

#include <algorithm>
#include <new>

namespace testing_support {

// A launched process, answered by FakeProcesses by its identifier and start time.
class FakeProcesses::Server : public platform::LaunchedServer {
 public:
  Server(FakeProcesses& owner, int32_t pid, uint64_t start_time)
      : owner_(owner), pid_(pid), start_time_(start_time) {}
  int32_t Pid() const override { return pid_; }
  bool Identifies(int32_t pid) const override { return pid == pid_; }
  bool IsRunning() override { return owner_.IsRunning(pid_, start_time_); }
  bool Terminate() override { return owner_.Terminate(pid_, start_time_); }
  std::optional<uint32_t> ExitCode() const override { return owner_.ExitCode(pid_, start_time_); }
  void DrainOutput(std::string& kept, size_t limit) override {
    owner_.DrainOutput(pid_, start_time_, kept, limit);
  }

 private:
  FakeProcesses& owner_;
  int32_t pid_;
  uint64_t start_time_;
};

platform::LaunchResult FakeProcesses::Launch(const std::string& program,
                                             const std::string& command_line, const std::string&,
                                             const platform::EnvironmentChanges&) {
  if (!launch_failure.empty()) return {nullptr, launch_failure};
  const int32_t pid = next_pid_;
  next_pid_ += 4;
  const uint64_t start_time = 1000 + static_cast<uint64_t>(pid);
  launched.push_back({pid, start_time, program, command_line, true, false, 0, {}});
  if (servers_exit_at_once)
    launched.back().alive = false, launched.back().exit_code = at_once_exit_code,
    launched.back().output = at_once_output;
  return {std::make_unique<Server>(*this, pid, start_time), {}};
}

FakeProcesses::Process* FakeProcesses::Find(int32_t pid, uint64_t start_time) {
  for (auto& p : launched)
    if (p.pid == pid && p.start_time == start_time && !p.released) return &p;
  return nullptr;
}

bool FakeProcesses::IsRunning(int32_t pid, uint64_t start_time) {
  ++probes;
  if (throwing_probes > 0) {
    --throwing_probes;
    throw std::bad_alloc();
  }
  const Process* p = Find(pid, start_time);
  return p && p->alive;
}

bool FakeProcesses::Terminate(int32_t pid, uint64_t start_time) {
  ++terminations;
  Process* p = Find(pid, start_time);
  if (!p) return false;
  p->alive = false;
  return true;
}

std::optional<uint32_t> FakeProcesses::ExitCode(int32_t pid, uint64_t start_time) {
  for (const auto& p : launched)
    if (p.pid == pid && p.start_time == start_time && !p.alive) return p.exit_code;
  return std::nullopt;
}

void FakeProcesses::DrainOutput(int32_t pid, uint64_t start_time, std::string& kept, size_t limit) {
  if (Process* p = Find(pid, start_time)) {
    kept += p->output.substr(0, limit > kept.size() ? limit - kept.size() : 0);
    p->output.clear();
  }
}

void FakeProcesses::KillFromOutside(int32_t pid) {
  for (auto& p : launched)
    if (p.pid == pid) p.alive = false, p.released = true;
}

int FakeProcesses::Running() const {
  return static_cast<int>(
      std::count_if(launched.begin(), launched.end(), [](const Process& p) { return p.alive; }));
}

bool FakeNotifyArea::ShellNotifyIcon(uint32_t message, const platform::NotifyIconRecord& record) {
  calls.push_back(message);
  const auto key = std::make_pair(record.hWnd, record.uID);
  if (message == platform::kNimAdd) {
    if (failing_adds > 0) {
      --failing_adds;
      if (failed_adds_land) {
        icons.insert(key);
        versioned.erase(key);
      }
      return false;
    }
    if (record.cbSize != sizeof record || icons.count(key)) return false;
    icons.insert(key);
    versioned.erase(key);
    last_tip = record.szTip;
    return true;
  }
  if (message == platform::kNimModify) return icons.count(key) != 0;
  if (message == platform::kNimSetVersion)
    return icons.count(key) != 0 && versioned.insert(key).second;
  if (message == platform::kNimDelete) return versioned.erase(key), icons.erase(key) != 0;
  return false;
}

}  // namespace testing_support
