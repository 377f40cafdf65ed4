#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "platform/win32/output_pipe_win32.h"
#include "platform/win32/port_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_platform.h"

namespace platform {
namespace {

using win32::TcpTableQuery;
using win32::UniqueHandle;

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

// An attribute list for CreateProcessW that hands the new process these
// handles and no other of the program's inheritable ones.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (InitializeProcThreadAttributeList(list, 1, 0, &size)) {
      list_ = list;
      if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                     handles_.size() * sizeof(HANDLE), nullptr, nullptr))
        Reset();
    }
  }
  ~InheritedHandles() { Reset(); }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

 private:
  void Reset() {
    if (list_) DeleteProcThreadAttributeList(std::exchange(list_, nullptr));
  }

  std::vector<HANDLE> handles_;
  std::vector<unsigned char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// A server we launched, through the handle kept from its launch: one call a probe, and
// while we hold it its identifier cannot name another process.
class Win32Server : public LaunchedServer {
 public:
  Win32Server(UniqueHandle process, DWORD pid, std::unique_ptr<win32::OutputPipe> output)
      : process_(std::move(process)), pid_(static_cast<int32_t>(pid)), output_(std::move(output)) {}

  int32_t Pid() const override { return pid_; }
  bool Identifies(int32_t pid) const override { return pid == pid_; }

  bool IsRunning() override {
    if (ended_) return false;
    if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) return true;
    ended_ = true;
    DWORD code = 0;
    if (GetExitCodeProcess(process_.Get(), &code)) exit_code_ = code;
    return false;
  }

  bool Terminate() override {
    if (ended_) return false;
    TerminateProcess(process_.Get(), 0);
    output_->Close();
    return true;
  }

  std::optional<uint32_t> ExitCode() const override { return exit_code_; }

  void DrainOutput(std::string& kept, size_t limit) override {
    output_->Drain(kept, limit, ended_);
  }

 private:
  UniqueHandle process_;
  int32_t pid_;
  std::unique_ptr<win32::OutputPipe> output_;
  bool ended_ = false;
  std::optional<uint32_t> exit_code_;
};

class Win32Processes : public Processes {
 public:
  Win32Processes(const wchar_t* socket_library, DWORD load_flags, TcpTableQuery tcp_table)
      : job_(MakeServerJob()),
        ports_(win32::MakeLoopbackPorts(socket_library, load_flags, tcp_table)) {}

  LaunchResult Launch(const std::string& program, const std::string& command_line,
                      const std::string& working_dir,
                      const EnvironmentChanges& environment) override {
    const std::wstring application = win32::Widen(program);
    std::wstring command = win32::Widen(command_line);  // CreateProcessW may write into it
    const std::wstring directory = win32::Widen(working_dir);
    std::wstring block = environment.empty() ? std::wstring() : EnvironmentBlock(environment);

    // The server's standard output and error: one pipe, whose write end alone it
    // inherits; its standard input is none.
    UniqueHandle output_end;
    DWORD error = 0;
    std::unique_ptr<win32::OutputPipe> output = win32::MakeOutputPipe(output_end, error);
    if (!output) return {nullptr, win32::SystemErrorText(error)};
    const InheritedHandles handles({output_end.Get()});
    if (!handles.Get()) return {nullptr, win32::SystemErrorText(GetLastError())};

    // A console without a window: nothing a terminal (Windows Terminal as the default
    // console host) could take over and show.
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = output_end.Get();
    startup.StartupInfo.hStdError = output_end.Get();
    startup.lpAttributeList = handles.Get();
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so neither it nor a child of its escapes.
    if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                            EXTENDED_STARTUPINFO_PRESENT,
                        block.empty() ? nullptr : block.data(),
                        directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo,
                        &info)) {
      return {nullptr, win32::SystemErrorText(GetLastError(), program)};
    }
    // Only the server holds the write end now: its end closes the pipe.
    output_end.Reset();
    UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    // Where the job cannot take it (a job of ours that forbids nesting, on old systems),
    // the server still runs, as it did before jobs.
    if (job_) AssignProcessToJobObject(job_.Get(), process.Get());
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
      const DWORD error = GetLastError();
      TerminateProcess(process.Get(), 1);
      return {nullptr, win32::SystemErrorText(error)};
    }
    return {std::make_unique<Win32Server>(std::move(process), info.dwProcessId, std::move(output)),
            {}};
  }

  PortState LoopbackPortState(int port) override { return ports_->State(port); }

  std::optional<PortOwner> LoopbackPortOwner(int port) override { return ports_->Owner(port); }

 private:
  UniqueHandle job_;
  std::unique_ptr<win32::LoopbackPorts> ports_;
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() {
  return win32::MakeProcesses(L"ws2_32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::unique_ptr<Processes> win32::MakeProcesses(const wchar_t* socket_library,
                                                unsigned long load_flags, TcpTableQuery tcp_table) {
  return std::make_unique<Win32Processes>(socket_library, load_flags, tcp_table);
}

}  // namespace platform
