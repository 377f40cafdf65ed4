// The real program in a throwaway installation folder, with the stand-in
// server, driven from outside through its real controls as a user would.
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kDefaults[] = " 1 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";

bool WaitFor(const std::function<bool()>& condition, int ms = 8000) {
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

// Processes whose parent is `parent`.
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

struct Found {
  DWORD pid;
  HWND window = nullptr;
};

BOOL CALLBACK FindMain(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 128);
  if (pid == found->pid && std::wstring(title) == L"Dravelo_WEB_MONITOR  V1.0") {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindTrayIcon(HWND window, LPARAM param) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) == L"__winex11_tray_icon") {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring Text(HWND window) {
  // Another process's control answers WM_GETTEXT; GetWindowText would not ask it.
  wchar_t text[256] = {};
  SendMessageW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  return text;
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const char* exe = std::getenv("MONITOR_EXE");
    const char* standin = std::getenv("STANDIN_DIR");
    ASSERT_TRUE(exe && standin) << "MONITOR_EXE and STANDIN_DIR tell where the programs are";
    // A Unix path under Wine is reached through drive Z:.
    auto windows_path = [](const char* p) { return fs::path(p[0] == '/' ? std::string("Z:") + p : p); };
    dir_ = fs::temp_directory_path() /
           ("dravelo e2e " + std::to_string(GetCurrentProcessId()) + " " + std::to_string(counter_++));
    fs::create_directories(dir_ / "php" / "www" / "public");
    fs::copy_file(windows_path(exe), dir_ / "Dravelo_WEB_MONITOR.exe");
    fs::copy_file(windows_path(standin) / "php.exe", dir_ / "php" / "php.exe");
    std::ofstream(dir_ / "php" / "www" / "public" / "index.html") << "<h1>e2e page</h1>";
  }

  void TearDown() override {
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

  // Starts the program in the installation folder and waits for its window.
  void Launch(bool expect_visible = true) {
    std::wstring command = L"\"" + (dir_ / "Dravelo_WEB_MONITOR.exe").wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               dir_.wstring().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    ASSERT_TRUE(WaitFor([&] {
      Found f{pid_};
      EnumWindows(FindMain, reinterpret_cast<LPARAM>(&f));
      main_ = f.window;
      return main_ != nullptr && (!expect_visible || IsWindowVisible(main_));
    }, 20000)) << "the main window did not appear";
  }

  bool Exited(int ms = 15000) {
    if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
    CloseHandle(process_);
    process_ = nullptr;
    return true;
  }

  HWND Child(const wchar_t* cls, const wchar_t* text) {
    return FindWindowExW(main_, nullptr, cls, text);
  }

  bool Running() {
    HWND start = Child(L"Button", L"Start");
    HWND stop = Child(L"Button", L"Stop");
    return start && stop && !IsWindowEnabled(start) && IsWindowEnabled(stop) &&
           !IsWindowEnabled(Child(L"Edit", nullptr));
  }
  bool Stopped() {
    HWND start = Child(L"Button", L"Start");
    HWND stop = Child(L"Button", L"Stop");
    return start && stop && IsWindowEnabled(start) && !IsWindowEnabled(stop) &&
           IsWindowEnabled(Child(L"Edit", nullptr));
  }
  void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

  DWORD ServerPid() {
    std::vector<DWORD> children;
    WaitFor([&] {
      children = ChildrenOf(pid_);
      return children.size() == 1;
    });
    if (children.size() != 1) return 0;
    servers_seen_.push_back(children[0]);
    return children[0];
  }

  static inline int counter_ = 0;
  fs::path dir_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  std::vector<DWORD> servers_seen_;
};

TEST_F(Installation, FirstStartAndCloseLeavesTheDefaultSettings) {
  Launch();
  ASSERT_TRUE(fs::exists(dir_ / "Dravelo_WEB_MONITOR.CFG")) << "loading creates the file";
  PostMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Exited()) << "closing the window ends the program";
  EXPECT_EQ(ReadFile(dir_ / "Dravelo_WEB_MONITOR.CFG"), kDefaults);
}

TEST_F(Installation, AUserRunsStopsAndConfiguresTheServer) {
  Launch();
  const int port = FreePort();
  HWND edit = Child(L"Edit", nullptr);
  ASSERT_TRUE(edit);
  EXPECT_EQ(Text(edit), L"80");
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::to_wstring(port).c_str()));

  // Start: within a tick the panel shows Running, and the page is served.
  Click(Child(L"Button", L"Start"));
  ASSERT_TRUE(WaitFor([&] { return Running(); })) << "Start did not lead to Running";
  std::string page;
  EXPECT_TRUE(WaitFor([&] { return (page = HttpGet(port)).find("e2e page") != std::string::npos; }))
      << page;

  // Killed from outside: the panel follows at the next tick.
  const DWORD server = ServerPid();
  ASSERT_NE(server, 0u);
  HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, server);
  TerminateProcess(h, 9);
  CloseHandle(h);
  EXPECT_TRUE(WaitFor([&] { return Stopped(); })) << "the panel did not notice the kill";

  // Start again, then Stop.
  Click(Child(L"Button", L"Start"));
  ASSERT_TRUE(WaitFor([&] { return Running(); }));
  const DWORD second = ServerPid();
  Click(Child(L"Button", L"Stop"));
  EXPECT_TRUE(WaitFor([&] { return Stopped(); }));
  EXPECT_TRUE(WaitFor([&] { return !Alive(second); }));

  // Deutsch, and both options ticked.
  HWND language = Child(L"ComboBox", nullptr);
  SendMessageW(language, CB_SETCURSEL, 1, 0);
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(language), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(language));
  EXPECT_TRUE(Child(L"Button", L"Ende"));
  EXPECT_TRUE(Child(L"Static", L"TCP-Port vom Webserver"));
  HWND minimised = Child(L"Button", L"Programm minimiert starten");
  HWND automatic = Child(L"Button", L"Webserver automatisch starten");
  ASSERT_TRUE(minimised && automatic);
  SendMessageW(minimised, BM_CLICK, 0, 0);
  SendMessageW(automatic, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(minimised, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(automatic, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(Stopped()) << "ticking automatic start launches nothing at once";

  // Minimise into the notification area, then click the icon.
  SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); })) << "minimising hides the window";
  HWND icon = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (tray) EnumChildWindows(tray, FindTrayIcon, reinterpret_cast<LPARAM>(&icon));
    return icon != nullptr;
  })) << "no icon in the notification area";
  PostMessageW(icon, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  PostMessageW(icon, WM_LBUTTONUP, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main_) && !IsIconic(main_); }))
      << "a click on the icon did not bring the window back";
  RECT r;
  GetWindowRect(main_, &r);
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);

  // Quit.
  Click(Child(L"Button", L"Ende"));
  ASSERT_TRUE(Exited());
  EXPECT_EQ(ReadFile(dir_ / "Dravelo_WEB_MONITOR.CFG"),
            " 2 \r\n 1 \r\n 1 \r\n " + std::to_string(port) + " \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  for (DWORD pid : servers_seen_) EXPECT_FALSE(Alive(pid)) << "server " << pid << " left running";

  // The next start comes up hidden, in German, and starts the server by itself.
  Launch(false);
  EXPECT_FALSE(IsWindowVisible(main_));
  EXPECT_TRUE(Child(L"Button", L"Ende"));
  EXPECT_TRUE(WaitFor([&] { return Running(); })) << "automatic start did not happen";
  const DWORD automatic_server = ServerPid();
  EXPECT_TRUE(WaitFor([&] { return HttpGet(port).find("e2e page") != std::string::npos; }));
  PostMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Exited());
  EXPECT_TRUE(WaitFor([&] { return !Alive(automatic_server); })) << "server left after close";
}

}  // namespace
