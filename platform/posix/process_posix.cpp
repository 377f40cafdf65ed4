#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
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
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "platform/unique_resource.h"

namespace platform {
namespace {

void CloseFd(int fd) { close(fd); }
using UniqueFd = UniqueResource<int, CloseFd, -1>;

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
    if (pipe2(fds, O_CLOEXEC) != 0) return {0, 0, std::strerror(errno)};
    UniqueFd read_end(fds[0]);
    UniqueFd write_end(fds[1]);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return {0, 0, std::strerror(errno)};
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
          dup2(null_fd, STDOUT_FILENO);
          dup2(null_fd, STDERR_FILENO);
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
    int child_errno = 0;
    ssize_t n;
    do {
      n = read(read_end.Get(), &child_errno, sizeof child_errno);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof child_errno)) {
      waitpid(pid, nullptr, 0);
      return {0, 0, std::strerror(child_errno)};
    }

    // The child is unreaped, so /proc still has it even if it has exited already.
    const uint64_t start_time = ProcStartTime(pid).value_or(0);
    children_[pid] = start_time;
    return {static_cast<int32_t>(pid), start_time, {}};
  }

  bool IsRunning(int32_t pid, uint64_t start_time) override {
    const auto child = children_.find(pid);
    if (child == children_.end()) return false;
    int status = 0;
    const pid_t waited = waitpid(pid, &status, WNOHANG);
    if (waited != 0) {
      // A signal counts as a shell counts it: 128 + its number.
      if (waited == pid)
        last_ended_ = Ended{pid, child->second,
                            WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                              : 128u + static_cast<uint32_t>(WTERMSIG(status))};
      // Reaped now (or by someone else): the identifier is no longer ours.
      children_.erase(child);
      return false;
    }
    return ProcStartTime(pid) == start_time;
  }

  bool Terminate(int32_t pid, uint64_t start_time) override {
    // An identifier we never launched, or have reaped, may name anyone: never signal it.
    if (children_.find(pid) == children_.end()) return false;
    if (ProcStartTime(pid) != start_time) return false;
    kill(pid, SIGKILL);
    return true;
  }

  std::optional<uint32_t> ExitCode(int32_t pid, uint64_t start_time) override {
    if (!last_ended_ || last_ended_->pid != pid || last_ended_->start_time != start_time)
      return std::nullopt;
    return last_ended_->code;
  }

  PortState LoopbackPortState(int port) override {
    UniqueFd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) return PortState::Free;
    // On Linux SO_REUSEADDR passes over TIME_WAIT leftovers but not over a live listener.
    const int on = 1;
    setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
      return PortState::Free;
    if (errno == EADDRINUSE) return PortState::InUse;
    // A privileged port for a user without the right to bind it.
    if (errno == EACCES) return PortState::Reserved;
    return PortState::Free;
  }

 private:
  struct Ended {
    int32_t pid = 0;
    uint64_t start_time = 0;
    uint32_t code = 0;
  };

  // Launched children not yet reaped, with their start times.
  std::map<int32_t, uint64_t> children_;
  // The last of them that IsRunning has reaped.
  std::optional<Ended> last_ended_;
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() { return std::make_unique<PosixProcesses>(); }

}  // namespace platform
