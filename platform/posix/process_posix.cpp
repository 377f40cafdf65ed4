#include <fcntl.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/port_posix.h"
#include "platform/posix/unique_fd.h"
#include "platform/process.h"

namespace platform {
namespace {

using posix::UniqueFd;

constexpr int kOutputPipeBytes = 1024 * 1024;

// Field 22 of /proc/<pid>/stat: the start time in clock ticks since boot.
std::optional<uint64_t> ProcStartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name (field 2) is in parentheses and may hold blanks or ')'.
  const size_t close_paren = line.rfind(')');
  if (close_paren == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close_paren + 1));
  std::string field;
  for (int n = 3; n <= 22; ++n)
    if (!(fields >> field)) return std::nullopt;
  try {
    return std::stoull(field);
  } catch (...) {
    return std::nullopt;
  }
}

std::vector<std::string> SplitOnBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// This process's environment with `changes` in place of its entries of those names.
std::vector<std::string> EnvironmentWith(const EnvironmentChanges& changes) {
  std::vector<std::string> entries;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    if (std::none_of(changes.begin(), changes.end(),
                     [&](const auto& change) { return change.first == name; }))
      entries.emplace_back(entry);
  }
  for (const auto& [name, value] : changes) entries.push_back(name + "=" + value);
  return entries;
}

// A child we launched. Its identifier cannot name another process until we reap it;
// should anyone else reap it first, its start time tells.
class PosixServer : public LaunchedServer {
 public:
  PosixServer(pid_t pid, uint64_t start_time, UniqueFd output)
      : pid_(pid), start_time_(start_time), output_(std::move(output)) {}

  int32_t Pid() const override { return pid_; }
  bool Identifies(int32_t pid) const override { return pid == pid_ && !reaped_; }

  bool IsRunning() override {
    if (reaped_) return false;
    int status = 0;
    const pid_t waited = waitpid(pid_, &status, WNOHANG);
    if (waited != 0) {
      // A signal counts as a shell counts it: 128 + its number.
      if (waited == pid_)
        exit_code_ = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                       : 128u + static_cast<uint32_t>(WTERMSIG(status));
      // Reaped now (or by someone else): the identifier is no longer ours.
      reaped_ = true;
      return false;
    }
    return ProcStartTime(pid_) == start_time_;
  }

  bool Terminate() override {
    // Once reaped, the identifier may name anyone: never signal it.
    if (reaped_ || ProcStartTime(pid_) != start_time_) return false;
    kill(pid_, SIGKILL);
    output_.Reset();
    return true;
  }

  std::optional<uint32_t> ExitCode() const override { return exit_code_; }

  void DrainOutput(std::string& kept, size_t limit) override {
    char buffer[65536];
    for (size_t total = 0; output_ && total < kDrainBytes;) {
      const ssize_t n = read(output_.Get(), buffer, std::min(sizeof buffer, kDrainBytes - total));
      if (n > 0) {
        KeepUpTo(kept, limit, {buffer, static_cast<size_t>(n)});
        total += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // At its end, or broken: closed. Nothing more for now: open.
      if (n == 0 || errno != EAGAIN) output_.Reset();
      break;
    }
    // What the ended server left is read; a process it started may still hold the
    // other end, and is not waited for.
    if (reaped_) output_.Reset();
  }

 private:
  pid_t pid_;
  uint64_t start_time_;
  UniqueFd output_;  // the read end, until read to the end or stopped
  bool reaped_ = false;
  std::optional<uint32_t> exit_code_;
};

class PosixProcesses : public Processes {
 public:
  LaunchResult Launch(const std::string& program, const std::string& command_line,
                      const std::string& working_dir,
                      const EnvironmentChanges& environment) override {
    std::vector<std::string> words = SplitOnBlanks(command_line);
    if (words.empty()) words.push_back(program);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    // Made before the fork: the child may only make async-signal-safe calls.
    std::vector<std::string> entries = EnvironmentWith(environment);
    std::vector<char*> envp;
    for (auto& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);

    // The child writes its errno here when exec fails; a successful exec closes it empty.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {nullptr, std::strerror(errno)};
    UniqueFd read_end(fds[0]);
    UniqueFd write_end(fds[1]);
    // The server's standard output and error, one pipe read by DrainOutput.
    if (pipe2(fds, O_CLOEXEC) != 0) return {nullptr, std::strerror(errno)};
    UniqueFd output(fds[0]);
    UniqueFd output_end(fds[1]);
    // Room for the request log of more than a tick.
    fcntl(output.Get(), F_SETPIPE_SZ, kOutputPipeBytes);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return {nullptr, std::strerror(errno)};
    if (pid == 0) {
      // Only async-signal-safe calls from here on.
#ifdef __linux__
      // The server must not run on unsupervised when we die; the check catches a parent
      // that died before the request took hold.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
#else
      (void)parent;
#endif
      int err = 0;
      setpgid(0, 0);
      if (!working_dir.empty() && chdir(working_dir.c_str()) != 0) err = errno;
      if (err == 0) {
        const int null_fd = open("/dev/null", O_RDWR);
        if (null_fd < 0) {
          err = errno;
        } else {
          dup2(null_fd, STDIN_FILENO);
          dup2(output_end.Get(), STDOUT_FILENO);
          dup2(output_end.Get(), STDERR_FILENO);
          if (null_fd > STDERR_FILENO) close(null_fd);
          execve(program.c_str(), argv.data(), envp.data());
          err = errno;
        }
      }
      ssize_t ignored = write(write_end.Get(), &err, sizeof err);
      (void)ignored;
      _exit(127);
    }

    write_end.Reset();
    output_end.Reset();
    int child_errno = 0;
    ssize_t n;
    do {
      n = read(read_end.Get(), &child_errno, sizeof child_errno);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof child_errno)) {
      waitpid(pid, nullptr, 0);
      return {nullptr, std::strerror(child_errno)};
    }

    // The child is unreaped, so /proc still has it even if it has exited already.
    fcntl(output.Get(), F_SETFL, O_NONBLOCK);
    return {std::make_unique<PosixServer>(pid, ProcStartTime(pid).value_or(0), std::move(output)),
            {}};
  }

  PortState LoopbackPortState(int port) override { return posix::LoopbackPortState(port); }

  std::optional<PortOwner> LoopbackPortOwner(int port) override {
    return posix::LoopbackPortOwner(port);
  }
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() { return std::make_unique<PosixProcesses>(); }

}  // namespace platform
