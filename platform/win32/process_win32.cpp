// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_platform.h"

namespace platform {
namespace {

using win32::UniqueHandle;

// All access as the system's older headers define it.
constexpr DWORD kAllAccess = 0x1F0FFF;
constexpr DWORD kStillActive = 259;
constexpr int kConnectWaitMs = 200;

std::optional<uint64_t> CreationTime(HANDLE process) {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return std::nullopt;
  return (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

// `dll` from the system folder only, never one planted beside the program or found
// through the search path; `flags` are those of the first try.
HMODULE LoadFromSystemFolder(const wchar_t* dll, DWORD flags) {
  if (const HMODULE module = LoadLibraryExW(dll, nullptr, flags)) return module;
  // Windows 7 without KB2533623 knows no LOAD_LIBRARY_SEARCH_* flags and refuses them.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  // The full path; its own imports are then looked for in its folder first.
  const std::wstring path = win32::SystemFolderPath(dll);
  return path.empty() ? nullptr
                      : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Winsock, loaded at the first port check rather than at start-up: a run that
// never presses Start never needs it. Loaded once and kept until the process ends.
class SocketLibrary {
 public:
  SocketLibrary(const wchar_t* dll, DWORD load_flags) : dll_(dll), load_flags_(load_flags) {}

  // False when the library or one of its functions is missing, or it does not start.
  bool Load() {
    if (!tried_) {
      tried_ = true;
      loaded_ = LoadAndStart();
    }
    return loaded_;
  }

  decltype(&::socket) socket = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::getsockopt) getsockopt = nullptr;
  decltype(&::bind) bind = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::select) select = nullptr;
  decltype(&::ioctlsocket) ioctlsocket = nullptr;
  decltype(&::WSAGetLastError) WSAGetLastError = nullptr;

 private:
  bool LoadAndStart() {
    const HMODULE module = LoadFromSystemFolder(dll_, load_flags_);
    if (!module) return false;
    decltype(&::WSAStartup) startup = nullptr;
    using win32::BindLate;
    if (!BindLate(module, "WSAStartup", startup) || !BindLate(module, "socket", socket) ||
        !BindLate(module, "closesocket", closesocket) ||
        !BindLate(module, "setsockopt", setsockopt) ||
        !BindLate(module, "getsockopt", getsockopt) || !BindLate(module, "bind", bind) ||
        !BindLate(module, "connect", connect) || !BindLate(module, "select", select) ||
        !BindLate(module, "ioctlsocket", ioctlsocket) ||
        !BindLate(module, "WSAGetLastError", WSAGetLastError))
      return false;
    WSADATA data;
    return startup(MAKEWORD(2, 2), &data) == 0;
  }

  const wchar_t* dll_;
  DWORD load_flags_;
  bool tried_ = false;
  bool loaded_ = false;
};

// Sole owner of a socket of the loaded library.
class Socket {
 public:
  explicit Socket(const SocketLibrary& api)
      : api_(api), s_(api.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) api_.closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  bool Valid() const { return s_ != INVALID_SOCKET; }
  SOCKET Get() const { return s_; }

 private:
  const SocketLibrary& api_;
  SOCKET s_;
};

// Written out: htons and htonl are Winsock's too.
sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = static_cast<u_short>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
  addr.sin_addr.S_un.S_un_b = {127, 0, 0, 1};
  return addr;
}

// A bounded non-blocking connect: true when something accepts on the port.
bool AcceptsConnections(const SocketLibrary& api, int port) {
  Socket s(api);
  if (!s.Valid()) return false;
  u_long non_blocking = 1;
  if (api.ioctlsocket(s.Get(), FIONBIO, &non_blocking) != 0) return false;
  const sockaddr_in addr = Loopback(port);
  if (api.connect(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return true;
  if (api.WSAGetLastError() != WSAEWOULDBLOCK) return false;
  // One socket in each set; FD_ISSET would call into Winsock for the count.
  fd_set writable{}, failed{};
  writable.fd_count = failed.fd_count = 1;
  writable.fd_array[0] = failed.fd_array[0] = s.Get();
  timeval wait{0, kConnectWaitMs * 1000};
  if (api.select(0, nullptr, &writable, &failed, &wait) <= 0) return false;
  if (writable.fd_count == 0) return false;
  int error = 0;
  int len = sizeof error;
  api.getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
  return error == 0;
}

// A job that kills its processes when its last handle closes, which happens at the
// latest when this process ends, however it ends. A server that crashes ends at once
// instead of waiting behind the system's error report window while the panel says
// Running.
UniqueHandle MakeServerJob() {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits))
    job.Reset();
  return job;
}

// The part of an environment entry before its '='; the hidden per-drive entries
// ("=C:=C:\folder") begin with one.
std::wstring_view EntryName(std::wstring_view entry) {
  return entry.substr(0, entry.find(L'=', 1));
}

// The order of names in an environment block: ordinal, without case.
int CompareNames(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE);
}

// This process's environment with `changes` in place of its entries of those names,
// as a block for CREATE_UNICODE_ENVIRONMENT, sorted by name as Windows keeps it.
std::wstring EnvironmentBlock(const EnvironmentChanges& changes) {
  std::vector<std::wstring> entries;
  for (const auto& [name, value] : changes)
    entries.push_back(win32::Widen(name) + L"=" + win32::Widen(value));
  const size_t changed = entries.size();
  const win32::UniqueEnvironmentBlock own(GetEnvironmentStringsW());
  for (const wchar_t* e = own.Get(); e && *e; e += wcslen(e) + 1) {
    const std::wstring_view name = EntryName(e);
    if (std::none_of(entries.begin(), entries.begin() + changed, [&](const std::wstring& c) {
          return CompareNames(name, EntryName(c)) == CSTR_EQUAL;
        }))
      entries.emplace_back(e);
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const std::wstring& a, const std::wstring& b) {
                     return CompareNames(EntryName(a), EntryName(b)) == CSTR_LESS_THAN;
                   });
  std::wstring block;
  for (const std::wstring& e : entries) block.append(e).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

class Win32Processes : public Processes {
 public:
  Win32Processes(const wchar_t* socket_library, DWORD load_flags)
      : job_(MakeServerJob()), sockets_(socket_library, load_flags) {}

  LaunchResult Launch(const std::string& program, const std::string& command_line,
                      const std::string& working_dir,
                      const EnvironmentChanges& environment) override {
    const std::wstring application = win32::Widen(program);
    std::wstring command = win32::Widen(command_line);  // CreateProcessW may write into it
    const std::wstring directory = win32::Widen(working_dir);
    std::wstring block = environment.empty() ? std::wstring() : EnvironmentBlock(environment);

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
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                        block.empty() ? nullptr : block.data(),
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
    if (!sockets_.Load()) return PortState::Unchecked;
    // PHP sets SO_REUSEADDR here and would start without complaint on a taken port.
    Socket probe(sockets_);
    if (!probe.Valid()) return PortState::Free;
    BOOL exclusive = TRUE;
    sockets_.setsockopt(probe.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                        reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const sockaddr_in addr = Loopback(port);
    if (sockets_.bind(probe.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
      return PortState::Free;
    const int error = sockets_.WSAGetLastError();
    if (error != WSAEADDRINUSE && error != WSAEACCES) return PortState::Free;
    // Connections of a server stopped a moment ago may linger in TIME_WAIT and refuse the
    // bind; only a live listener counts.
    if (AcceptsConnections(sockets_, port)) return PortState::InUse;
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
  SocketLibrary sockets_;
  // Servers we launched whose end we have not seen yet.
  std::map<int32_t, Launched> launched_;
  // The last of them whose end IsRunning has seen.
  std::optional<Ended> last_ended_;
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() {
  return win32::MakeProcesses(L"ws2_32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::unique_ptr<Processes> win32::MakeProcesses(const wchar_t* socket_library,
                                                unsigned long load_flags) {
  return std::make_unique<Win32Processes>(socket_library, load_flags);
}

}  // namespace platform
