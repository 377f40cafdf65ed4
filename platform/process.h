// Launching, probing and terminating the server process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Whether a server could listen on a loopback port.
enum class PortState {
  Free,
  InUse,      // something listens there
  Reserved,   // the system refuses it: a reserved range (Hyper-V, WSL 2, Docker), or a
              // port this user may not bind
  Unchecked,  // the system's sockets could not be loaded, so nothing can listen either
};

// The process that listens on a port.
struct PortOwner {
  int32_t pid = 0;
  std::string name;     // its program's file name; empty when it cannot be opened
  bool system = false;  // the system itself: on Windows HTTP.sys, holding it for a service
};

// At most this much of a server's output is read in one drain, so that a server that
// writes without pause cannot hold the user-interface thread.
inline constexpr size_t kDrainBytes = 1024 * 1024;

// Appends to `kept` what of `bytes` fits below `limit`: the drains' rule.
inline void KeepUpTo(std::string& kept, size_t limit, std::string_view bytes) {
  if (kept.size() < limit) kept.append(bytes.substr(0, limit - kept.size()));
}

// The server this program launched, owned alone: its process (on Windows its handle,
// so that its identifier names no other process while it lives), its output pipe and,
// once it has been found ended, its exit code.
class LaunchedServer {
 public:
  LaunchedServer() = default;
  virtual ~LaunchedServer() = default;
  LaunchedServer(const LaunchedServer&) = delete;
  LaunchedServer& operator=(const LaunchedServer&) = delete;

  virtual int32_t Pid() const = 0;
  // Whether `pid` still names this process, running or ended: on Windows as long as
  // the object lives, on POSIX until its end has been seen.
  virtual bool Identifies(int32_t pid) const = 0;

  // True until its end is seen; one look at the system, nothing read.
  virtual bool IsRunning() = 0;

  // Terminates it. False when it cannot be reached: its end has been seen already, or
  // it is no longer the process launched.
  virtual bool Terminate() = 0;

  // The exit code, once IsRunning has seen the end; nothing when it is not known.
  virtual std::optional<uint32_t> ExitCode() const = 0;

  // Moves what it has written since the last call into `kept`, up to `limit` bytes in
  // all, and reads and drops the rest, so that it never waits on a full pipe; at most
  // kDrainBytes a call. Never waits itself. Once IsRunning has seen the end, what is
  // waiting is read and the pipe closed, also while a process that the server started
  // holds the pipe's other end.
  virtual void DrainOutput(std::string& kept, size_t limit) = 0;
};

struct LaunchResult {
  std::unique_ptr<LaunchedServer> server;  // null when nothing was launched
  std::string error;                       // the system's reason then
};

// Variables (name, value) that a launched process gets in place of the program's own;
// the rest of the program's environment is passed on as it is.
using EnvironmentChanges = std::vector<std::pair<std::string, std::string>>;

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts `program` (an absolute path; no search path is used) with the given
  // command line, hidden: on Windows with a console that has no window.
  // `working_dir` empty means the current directory. The process's standard input
  // is empty; its standard output and error go to one pipe, read by DrainOutput.
  virtual LaunchResult Launch(const std::string& program, const std::string& command_line,
                              const std::string& working_dir,
                              const EnvironmentChanges& environment) = 0;

  // The state of 127.0.0.1:`port` (1 to 65535).
  virtual PortState LoopbackPortState(int port) = 0;

  // The process that listens on `port` at 127.0.0.1 or at every address (IPv4 or
  // IPv6); nothing when none is found.
  virtual std::optional<PortOwner> LoopbackPortOwner(int port) = 0;
};

// The backend of this build.
std::unique_ptr<Processes> MakeProcesses();

// Path of the interpreter relative to the installation folder, with the
// platform's separator and executable suffix ("php\php.exe" on Windows).
extern const char kInterpreterRelativePath[];

// The current working directory, ending without a separator.
std::string CurrentDirectory();

// Joins a directory and a relative path with the platform's separator.
std::string JoinPath(const std::string& dir, const std::string& relative);

}  // namespace platform
