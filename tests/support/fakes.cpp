#include "support/fakes.h"

#include <algorithm>
#include <new>

namespace testing_support {

// A launched process of `launched`, by its place there.
class FakeProcesses::Server : public platform::LaunchedServer {
 public:
  Server(FakeProcesses& owner, size_t index) : owner_(owner), index_(index) {}
  int32_t Pid() const override { return Record().pid; }
  bool Identifies(int32_t pid) const override { return pid == Record().pid; }
  bool IsRunning() override {
    ++owner_.probes;
    if (owner_.throwing_probes > 0) {
      --owner_.throwing_probes;
      throw std::bad_alloc();
    }
    return Record().alive && !Record().released;
  }
  bool Terminate() override {
    ++owner_.terminations;
    if (Record().released) return false;
    Record().alive = false;
    return true;
  }
  std::optional<uint32_t> ExitCode() const override {
    if (Record().alive) return std::nullopt;
    return Record().exit_code;
  }
  void DrainOutput(std::string& kept, size_t limit) override {
    if (Record().released) return;
    kept += Record().output.substr(0, limit > kept.size() ? limit - kept.size() : 0);
    Record().output.clear();
  }

 private:
  Process& Record() const { return owner_.launched[index_]; }
  FakeProcesses& owner_;
  size_t index_;
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
  return {std::make_unique<Server>(*this, launched.size() - 1), {}};
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
