// Measures one program at a time from outside and prints one "name value" line
// per figure on stdout, for scripts/bench.
//   bench_probe startup EXE DIR
//   bench_probe idle EXE DIR SECONDS [hidden]
//   bench_probe kill-latency EXE DIR N
//   bench_probe start-latency EXE DIR N
// DIR is the working directory the program is started in; for the last two it
// is an installation folder with php\php.exe and Dravelo_WEB_MONITOR.CFG.
// "hidden" measures a program that starts minimised into the notification area.
// winsock2.h must come before windows.h, and windows.h before the rest.
#include <winsock2.h>

#include <windows.h>

#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/unique_handles.h"

namespace {

using Handle = platform::win32::UniqueHandle;
void CloseSocket(SOCKET s) { closesocket(s); }
using Socket = platform::UniqueResource<SOCKET, CloseSocket, INVALID_SOCKET>;

class Winsock {
 public:
  Winsock() {
    WSADATA data;
    ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~Winsock() {
    if (ready_) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;

 private:
  bool ready_ = false;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "bench_probe: %s\n", what);
  std::exit(1);
}

double NowMs() {
  static const double ticks_per_ms = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticks_per_ms;
}

void Print(const char* name, double value) {
  std::printf("%s %.1f\n", name, value);
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Polls every millisecond; false when `ms` pass first.
bool WaitFor(const std::function<bool()>& condition, int ms) {
  const double end = NowMs() + ms;
  while (NowMs() < end) {
    if (condition()) return true;
    Sleep(1);
  }
  return condition();
}

// A Unix path is reached through drive Z: under Wine.
std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// --- The measured program ---

struct Program {
  Handle process;
  DWORD pid = 0;
};

Program Launch(const std::wstring& exe, const std::wstring& dir) {
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                      &si, &pi))
    Fail("cannot start the program");
  Handle thread(pi.hThread);
  return {Handle(pi.hProcess), pi.dwProcessId};
}

struct WindowSearch {
  DWORD pid;
  HWND found = nullptr;
};

BOOL CALLBACK FindShown(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// A window minimised and hidden: the panel in the notification area.
BOOL CALLBACK FindHidden(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsIconic(window) && !IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CloseEach(HWND window, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == static_cast<DWORD>(param)) PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

HWND ShownWindow(DWORD pid) {
  WindowSearch search{pid};
  EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForShownWindow(const Program& program) {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = ShownWindow(program.pid)) != nullptr; }, 30000))
    Fail("no window was shown");
  return window;
}

void WaitForHiddenWindow(const Program& program) {
  auto hidden = [&] {
    WindowSearch search{program.pid};
    EnumWindows(FindHidden, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  };
  if (!WaitFor(hidden, 30000)) Fail("the window was not hidden in the notification area");
  // Hiding a minimised window takes a moment under Wine without a window manager.
  Sleep(3000);
}

// WM_CLOSE to its windows; terminated when it has not ended after a while.
void Close(Program& program) {
  EnumWindows(CloseEach, static_cast<LPARAM>(program.pid));
  if (WaitForSingleObject(program.process.Get(), 10000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "bench_probe: the program did not close; terminating it\n");
    TerminateProcess(program.process.Get(), 1);
    WaitForSingleObject(program.process.Get(), 5000);
  }
}

double CpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

// --- The panel, read and clicked from outside ---

class Panel {
 public:
  explicit Panel(HWND window) : window_(window) {}
  HWND Button(const wchar_t* caption) const {
    return FindWindowExW(window_, nullptr, L"Button", caption);
  }
  bool Running() const {
    HWND start = Button(L"Start"), stop = Button(L"Stop");
    return start && stop && !IsWindowEnabled(start) && IsWindowEnabled(stop);
  }
  bool Stopped() const {
    HWND start = Button(L"Start"), stop = Button(L"Stop");
    return start && stop && IsWindowEnabled(start) && !IsWindowEnabled(stop);
  }
  void Click(const wchar_t* caption) const {
    HWND button = Button(caption);
    if (!button) Fail("a button of the panel is missing");
    PostMessageW(button, BM_CLICK, 0, 0);
  }

 private:
  HWND window_;
};

// The server is the php.exe that our program started.
DWORD ServerOf(DWORD parent) {
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.Get(), &entry); ok; ok = Process32NextW(snap.Get(), &entry))
    if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, L"php.exe") == 0)
      return entry.th32ProcessID;
  return 0;
}

// --- HTTP ---

bool PageServed(int port) {
  Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s.Valid()) return false;
  DWORD timeout_ms = 1000;
  setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  const char request[] = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(s.Get(), request, sizeof request - 1, 0) <= 0) return false;
  std::string reply;
  char buffer[1024];
  int n;
  while ((n = recv(s.Get(), buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
  return reply.compare(0, 12, "HTTP/1.0 200") == 0 || reply.compare(0, 12, "HTTP/1.1 200") == 0;
}

// The fourth line of the settings file holds the port.
int PortOf(const std::wstring& dir) {
  std::ifstream in(std::filesystem::path(dir) / L"Dravelo_WEB_MONITOR.CFG", std::ios::binary);
  std::string line;
  for (int i = 0; i < 4 && std::getline(in, line); ++i) {
  }
  const int port = std::atoi(line.c_str());
  if (port < 1 || port > 65535) Fail("no port in the settings file");
  return port;
}

// --- Modes ---

void Startup(const std::wstring& exe, const std::wstring& dir) {
  const double t0 = NowMs();
  Program program = Launch(exe, dir);
  WaitForShownWindow(program);
  Print("startup_ms", NowMs() - t0);
  Close(program);
}

void Idle(const std::wstring& exe, const std::wstring& dir, int seconds, bool hidden) {
  Program program = Launch(exe, dir);
  if (hidden) {
    WaitForHiddenWindow(program);
  } else {
    WaitForShownWindow(program);
    // Past the first ticks, so that an automatic start is not measured as idle.
    Sleep(2000);
  }
  std::printf("ready %lu\n", program.pid);
  std::fflush(stdout);
  const double cpu0 = CpuMs(program.process.Get());
  const double t0 = NowMs();
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const double cpu1 = CpuMs(program.process.Get());
  Print("idle_wall_ms", NowMs() - t0);
  if (cpu0 >= 0 && cpu1 >= 0) Print("win_cpu_ms", cpu1 - cpu0);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (K32GetProcessMemoryInfo(program.process.Get(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    Print("win_working_set_kb", memory.WorkingSetSize / 1024.0);
    Print("win_private_kb", memory.PrivateUsage / 1024.0);
  }
  // Gives scripts/bench time to read the process from the Linux side.
  std::printf("closing\n");
  std::fflush(stdout);
  Sleep(1500);
  Close(program);
}

struct Monitor {
  Program program;
  HWND window = nullptr;
};

Monitor StartMonitor(const std::wstring& exe, const std::wstring& dir) {
  Monitor m{Launch(exe, dir)};
  m.window = WaitForShownWindow(m.program);
  return m;
}

void KillLatency(const std::wstring& exe, const std::wstring& dir, int n) {
  const int port = PortOf(dir);
  Monitor m = StartMonitor(exe, dir);
  const Panel panel(m.window);
  if (!WaitFor([&] { return panel.Running(); }, 10000)) Fail("automatic start did not happen");
  double running_at = NowMs();
  std::vector<double> latencies;
  for (int i = 0; i < n; ++i) {
    if (!WaitFor([&] { return PageServed(port); }, 10000)) Fail("the server does not answer");
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ServerOf(m.program.pid)));
    if (!process) Fail("cannot reach the server process");
    // The tick that showed Running is at running_at; the kills are spread evenly
    // over the tick's period so that the figures cover every phase. A server that
    // ends within 2 s of its start is reported in a box; these kills come later.
    double kill_at = running_at + 500.0 * (i + 0.5) / n;
    while (kill_at < std::max(NowMs(), running_at + 2100)) kill_at += 500;
    Sleep(static_cast<DWORD>(kill_at - NowMs()));
    const double t0 = NowMs();
    TerminateProcess(process.Get(), 9);
    if (!WaitFor([&] { return panel.Stopped(); }, 5000)) Fail("the panel did not show Stopped");
    latencies.push_back(NowMs() - t0);
    Print("kill_stopped_ms", latencies.back());
    WaitForSingleObject(process.Get(), 5000);
    panel.Click(L"Start");
    if (!WaitFor([&] { return panel.Running(); }, 5000)) Fail("Start did not lead to Running");
    running_at = NowMs();
  }
  Print("kill_stopped_median_ms", Median(latencies));
  Close(m.program);
}

// The server alone, started as our program starts it.
double OwnStartup(const std::wstring& dir, int port) {
  const std::wstring php = dir + L"\\php\\php.exe";
  std::wstring command = L"php\\php -S 127.0.0.1:" + std::to_wstring(port) + L" -t php/www/public/";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  const double t0 = NowMs();
  if (!CreateProcessW(php.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, dir.c_str(), &si, &pi))
    Fail("cannot start the server alone");
  Handle process(pi.hProcess), thread(pi.hThread);
  const bool served = WaitFor([&] { return PageServed(port); }, 10000);
  const double ms = NowMs() - t0;
  TerminateProcess(process.Get(), 9);
  WaitForSingleObject(process.Get(), 5000);
  if (!served) Fail("the server alone does not answer");
  return ms;
}

void StartLatency(const std::wstring& exe, const std::wstring& dir, int n) {
  const int port = PortOf(dir);
  Monitor m = StartMonitor(exe, dir);
  const Panel panel(m.window);
  // Past the first tick, so that an automatic start, if set, has happened.
  Sleep(1200);
  auto stop = [&] {
    if (!WaitFor([&] { return panel.Running(); }, 5000)) Fail("Start did not lead to Running");
    panel.Click(L"Stop");
    if (!WaitFor([&] { return panel.Stopped(); }, 5000)) Fail("Stop did not lead to Stopped");
    if (!WaitFor([&] { return !PageServed(port); }, 5000)) Fail("the server outlived Stop");
  };
  if (panel.Running()) stop();
  std::vector<double> ours, own;
  for (int i = 0; i < n; ++i) {
    if (!panel.Stopped()) Fail("the panel is not Stopped");
    const double t0 = NowMs();
    panel.Click(L"Start");
    if (!WaitFor([&] { return PageServed(port); }, 10000)) Fail("no page after Start");
    ours.push_back(NowMs() - t0);
    Print("start_page_ms", ours.back());
    stop();
    own.push_back(OwnStartup(dir, port));
    Print("own_page_ms", own.back());
  }
  Print("start_page_median_ms", Median(ours));
  Print("own_page_median_ms", Median(own));
  Close(m.program);
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_probe startup EXE DIR | idle EXE DIR SECONDS [hidden] |\n"
               "       kill-latency EXE DIR N | start-latency EXE DIR N\n");
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return Usage();
  const std::wstring mode = argv[1];
  const std::wstring exe = WindowsPath(argv[2]);
  const std::wstring dir = WindowsPath(argv[3]);
  const int count = argc > 4 ? _wtoi(argv[4]) : 0;
  const bool hidden = argc > 5 && std::wstring(argv[5]) == L"hidden";
  LocalFree(argv);
  Winsock winsock;

  if (mode == L"startup") {
    Startup(exe, dir);
  } else if (mode == L"idle" && count > 0) {
    Idle(exe, dir, count, hidden);
  } else if (mode == L"kill-latency" && count > 0) {
    KillLatency(exe, dir, count);
  } else if (mode == L"start-latency" && count > 0) {
    StartLatency(exe, dir, count);
  } else {
    return Usage();
  }
  return 0;
}
