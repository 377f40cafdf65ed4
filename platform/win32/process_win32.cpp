// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "platform/process.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"

namespace platform {
namespace {

using win32::UniqueHandle;
using win32::UniqueSocket;

// All access as the system's older headers define it.
constexpr DWORD kAllAccess = 0x1F0FFF;
constexpr DWORD kStillActive = 259;
constexpr int kConnectWaitMs = 200;

std::optional<uint64_t> CreationTime(HANDLE process) {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return std::nullopt;
  return (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

void StartWinsockOnce() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

// A bounded non-blocking connect: true when something accepts on the port.
bool AcceptsConnections(int port) {
  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return false;
  u_long non_blocking = 1;
  if (ioctlsocket(s.Get(), FIONBIO, &non_blocking) != 0) return false;
  const sockaddr_in addr = Loopback(port);
  if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s.Get(), &writable);
  FD_SET(s.Get(), &failed);
  timeval wait{0, kConnectWaitMs * 1000};
  if (select(0, nullptr, &writable, &failed, &wait) <= 0) return false;
  if (!FD_ISSET(s.Get(), &writable)) return false;
  int error = 0;
  int len = sizeof error;
  getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
  return error == 0;
}

// A job that kills its processes when its last handle closes, which happens at the
// latest when this process ends, however it ends.
UniqueHandle MakeKillOnCloseJob() {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits))
    job.Reset();
  return job;
}

class Win32Processes : public Processes {
 public:
  Win32Processes() : job_(MakeKillOnCloseJob()) {}

  LaunchResult Launch(const std::string& program, const std::string& command_line,
                      const std::string& working_dir) override {
    const std::wstring application = win32::Widen(program);
    std::wstring command = win32::Widen(command_line);  // CreateProcessW may write into it
    const std::wstring directory = win32::Widen(working_dir);

    // A console without a window: nothing a terminal (Windows Terminal as the default
    // console host) could take over and show, and the request log that PHP writes to
    // its standard error goes into the console, never blocking on a pipe of ours.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so neither it nor a child of its escapes.
    if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
      return {0, 0, win32::SystemErrorText(GetLastError())};
    }
    UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    // Where the job cannot take it (a job of ours that forbids nesting, on old systems),
    // the server still runs, as it did before jobs.
    if (job_) AssignProcessToJobObject(job_.Get(), process.Get());
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
      const DWORD error = GetLastError();
      TerminateProcess(process.Get(), 1);
      return {0, 0, win32::SystemErrorText(error)};
    }
    const uint64_t created = CreationTime(process.Get()).value_or(0);
    const auto pid = static_cast<int32_t>(info.dwProcessId);
    launched_[pid] = {std::move(process), created};
    return {pid, created, {}};
  }

  bool IsRunning(int32_t pid, uint64_t start_time) override {
    // Our own server is probed through the handle kept from its launch: one call per
    // tick, and while we hold it its identifier cannot name another process.
    if (const auto held = launched_.find(pid); held != launched_.end()) {
      if (held->second.start_time != start_time) return false;
      if (WaitForSingleObject(held->second.process.Get(), 0) == WAIT_TIMEOUT) return true;
      // Once the handle is closed the exit code is lost with it.
      DWORD code = 0;
      if (GetExitCodeProcess(held->second.process.Get(), &code))
        last_ended_ = Ended{pid, start_time, code};
      launched_.erase(held);
      return false;
    }
    const UniqueHandle process(OpenProcess(kAllAccess, FALSE, static_cast<DWORD>(pid)));
    if (!process) return false;
    // Identifiers are reused soon: the same number may now name an unrelated process.
    if (CreationTime(process.Get()) != start_time) return false;
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return code == kStillActive;
  }

  bool Terminate(int32_t pid, uint64_t start_time) override {
    if (const auto held = launched_.find(pid); held != launched_.end()) {
      if (held->second.start_time != start_time) return false;
      TerminateProcess(held->second.process.Get(), 0);
      return true;
    }
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                           FALSE, static_cast<DWORD>(pid)));
    if (!process) return false;
    if (CreationTime(process.Get()) != start_time) return false;
    TerminateProcess(process.Get(), 0);
    return true;
  }

  std::optional<uint32_t> ExitCode(int32_t pid, uint64_t start_time) override {
    if (!last_ended_ || last_ended_->pid != pid || last_ended_->start_time != start_time)
      return std::nullopt;
    return last_ended_->code;
  }

  PortState LoopbackPortState(int port) override {
    StartWinsockOnce();
    // PHP sets SO_REUSEADDR here and would start without complaint on a taken port.
    UniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!probe.Valid()) return PortState::Free;
    BOOL exclusive = TRUE;
    setsockopt(probe.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const sockaddr_in addr = Loopback(port);
    if (bind(probe.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
      return PortState::Free;
    const int error = WSAGetLastError();
    if (error != WSAEADDRINUSE && error != WSAEACCES) return PortState::Free;
    // Connections of a server stopped a moment ago may linger in TIME_WAIT and refuse the
    // bind; only a live listener counts.
    if (AcceptsConnections(port)) return PortState::InUse;
    // WSAEACCES without a listener: a range the system keeps for itself (Hyper-V, WSL 2,
    // Docker, http.sys), or a socket bound exclusively to it; PHP cannot listen there.
    return error == WSAEACCES ? PortState::Reserved : PortState::Free;
  }

 private:
  struct Launched {
    UniqueHandle process;
    uint64_t start_time = 0;
  };

  struct Ended {
    int32_t pid = 0;
    uint64_t start_time = 0;
    uint32_t code = 0;
  };

  UniqueHandle job_;
  // Servers we launched whose end we have not seen yet.
  std::map<int32_t, Launched> launched_;
  // The last of them whose end IsRunning has seen.
  std::optional<Ended> last_ended_;
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace platform
