#include "win32/installation.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/wine.h"

namespace e2e {

using testing_support::WindowsPaths;

bool WaitFor(const std::function<bool()>& condition, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

int FreePort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  return ntohs(a.sin_port);
}

std::string HttpGet(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const char request[] = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    send(s, request, sizeof request - 1, 0);
    char buffer[4096];
    int n;
    while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
  }
  closesocket(s);
  return reply;
}

std::vector<DWORD> ChildrenOf(DWORD parent) {
  std::vector<DWORD> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (e.th32ParentProcessID == parent && _wcsicmp(e.szExeFile, L"php.exe") == 0)
      out.push_back(e.th32ProcessID);
  CloseHandle(snap);
  return out;
}

bool Alive(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return false;
  const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return alive;
}

std::wstring Text(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

namespace {

struct Found {
  DWORD pid;
  const wchar_t* cls;
  const wchar_t* title;
  HWND window = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[64] = {}, title[128] = {};
  GetClassNameW(window, cls, 64);
  GetWindowTextW(window, title, 128);
  if (pid == found->pid && (!found->cls || std::wstring(cls) == found->cls) &&
      (!found->title || std::wstring(title) == found->title) &&
      (found->title || IsWindowVisible(window))) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

HWND TopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title) {
  Found f{pid, cls, title};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&f));
  return f.window;
}

// The first icon of Wine's stand-alone tray, which is made when no tray host
// is on the X display.
HWND WineTrayIcon() {
  HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
  return tray ? FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr) : nullptr;
}

// The longest static text of a box is its message.
BOOL CALLBACK CollectBoxText(HWND window, LPARAM param) {
  auto* text = reinterpret_cast<std::wstring*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (_wcsicmp(cls, L"Static") == 0) {
    const std::wstring t = Text(window);
    if (t.size() > text->size()) *text = t;
  }
  return TRUE;
}

}  // namespace

std::string SettingsBytes(int language, int minimised, int automatic, int port) {
  return " " + std::to_string(language) + " \r\n " + std::to_string(minimised) + " \r\n " +
         std::to_string(automatic) + " \r\n " + std::to_string(port) +
         " \r\n\r\n\r\n\r\n\r\n\r\n\r\n";
}

void ShownBox::Dismiss() const {
  if (HWND ok = FindWindowExW(window, nullptr, L"Button", nullptr))
    PostMessageW(ok, BM_CLICK, 0, 0);
  else
    PostMessageW(window, WM_COMMAND, IDOK, 0);
}

void Installation::SetUp() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const char* exe = std::getenv("MONITOR_EXE");
  const char* standin = std::getenv("STANDIN_DIR");
  ASSERT_TRUE(exe && standin) << "MONITOR_EXE and STANDIN_DIR tell where the programs are";
  // A Unix path under Wine is reached through drive Z:.
  auto windows_path = [](const char* p) {
    return fs::path(p[0] == '/' ? std::string("Z:") + p : p);
  };
  // A user name as in C:\Users\Jürgen, and a letter no ANSI code page of the West has.
  dir_ = fs::temp_directory_path() /
         (L"J\u00fcrgen Pawe\u0142 " + std::to_wstring(GetCurrentProcessId()) + L" " +
          std::to_wstring(counter_++));
  fs::create_directories(dir_ / "php" / "www" / "public");
  fs::copy_file(windows_path(exe), dir_ / "Dravelo_WEB_MONITOR.exe");
  fs::copy_file(windows_path(standin) / "php.exe", dir_ / "php" / "php.exe");
  std::ofstream(dir_ / "php" / "www" / "public" / "index.html") << "<h1>e2e page</h1>";
}

void Installation::TearDown() {
  // scripts/wine-suite names the tests it runs along Windows' paths.
  if (testing_support::WindowsPathsForced()) {
    EXPECT_GT(testing_support::windows_paths_asked, 0)
        << "no step takes a path of Windows' own here: leave this test out of that list";
  }
  testing_support::windows_paths_asked = 0;
  for (DWORD pid : servers_seen_) {
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
      TerminateProcess(h, 1);
      CloseHandle(h);
    }
  }
  if (process_) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void Installation::Launch(bool expect_visible, int show) {
  std::wstring command = L"\"" + (dir_ / "Dravelo_WEB_MONITOR.exe").wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = show < 0 ? 0 : STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             dir_.wstring().c_str(), &si, &pi));
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  ASSERT_TRUE(WaitFor(
      [&] {
        main_ = TopLevel(pid_, nullptr, L"Dravelo_WEB_MONITOR  V1.0");
        return main_ != nullptr && (!expect_visible || IsWindowVisible(main_));
      },
      2 * kPatienceMs))
      << "the main window did not appear";
}

bool Installation::Exited(int ms) {
  if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
  CloseHandle(process_);
  process_ = nullptr;
  return true;
}

HWND Installation::Child(const wchar_t* cls, const wchar_t* text) {
  return FindWindowExW(main_, nullptr, cls, text);
}

bool Installation::Running() {
  HWND start = Child(L"Button", L"Start");
  HWND stop = Child(L"Button", L"Stop");
  return start && stop && !IsWindowEnabled(start) && IsWindowEnabled(stop) &&
         !IsWindowEnabled(Child(L"Edit", nullptr));
}

bool Installation::Stopped() {
  HWND start = Child(L"Button", L"Start");
  HWND stop = Child(L"Button", L"Stop");
  return start && stop && IsWindowEnabled(start) && !IsWindowEnabled(stop) &&
         IsWindowEnabled(Child(L"Edit", nullptr));
}

DWORD Installation::ServerPid() {
  std::vector<DWORD> children;
  WaitFor([&] {
    children = ChildrenOf(pid_);
    return children.size() == 1;
  });
  if (children.size() != 1) return 0;
  servers_seen_.push_back(children[0]);
  return children[0];
}

DWORD Installation::LaunchServing(int port) {
  WriteFile(SettingsPath(), SettingsBytes(1, 0, 1, port));
  Launch();
  if (!WaitFor([&] { return Running(); })) return 0;
  return ServerPid();
}

void Installation::ChooseLanguage(int index) {
  HWND language = Child(L"ComboBox", nullptr);
  SendMessageW(language, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(language), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(language));
}

ShownBox Installation::WaitForMessageBox(int ms) {
  ShownBox box;
  WaitFor([&] { return (box.window = TopLevel(pid_, L"#32770", nullptr)) != nullptr; }, ms);
  if (box.window) EnumChildWindows(box.window, CollectBoxText, reinterpret_cast<LPARAM>(&box.text));
  return box;
}

bool Installation::IconShown() {
  if (!WindowsPaths()) return WineTrayIcon() != nullptr;
  NOTIFYICONIDENTIFIER icon{sizeof icon, main_, 1, {}};
  RECT r;
  const HRESULT result = Shell_NotifyIconGetRect(&icon, &r);
  if (result != E_NOTIMPL) return result == S_OK;
  // Wine's is a stub; a change of nothing succeeds where the tray has the icon.
  NOTIFYICONDATAW nothing{};
  nothing.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nothing.hWnd = main_;
  nothing.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &nothing);
}

// Under Wine on the icon's window; on Windows the icon's callback message (WM_APP + 1,
// icon 1) as the shell sends it.
void Installation::ClickIcon() {
  HWND icon = WineTrayIcon();
  for (const UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    if (WindowsPaths())
      SendNotifyMessageW(main_, WM_APP + 1, 1, mouse);
    else
      PostMessageW(icon, mouse, mouse == WM_LBUTTONDOWN ? MK_LBUTTON : 0, 0);
  }
}

}  // namespace e2e
