// The Windows backend against the PHP stand-in (tests/php_standin), under Wine here.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <aclapi.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/global_variables.h"
#include "platform/process.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/win32_platform.h"
#include "server/command_line.h"
#include "server/server_control.h"
#include "support/temp_dir.h"
#include "support/wine.h"

namespace {

namespace fs = std::filesystem;
using platform::win32::Widen;

constexpr char kPage[] = "dravelo stand-in test page";

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

class Socket {
 public:
  Socket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET Get() const { return s_; }

 private:
  SOCKET s_;
};

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int FreePort() {
  Socket s;
  sockaddr_in addr = Loopback(0);
  bind(s.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int len = sizeof addr;
  getsockname(s.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

std::string HttpGet(int port, const std::string& path = "/") {
  Socket s;
  const sockaddr_in addr = Loopback(port);
  std::string response;
  if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  DWORD timeout_ms = 2000;
  setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(s.Get(), request.data(), static_cast<int>(request.size()), 0) !=
      static_cast<int>(request.size()))
    return {};
  char buffer[4096];
  for (int n; (n = recv(s.Get(), buffer, sizeof buffer, 0)) > 0;)
    response.append(buffer, static_cast<size_t>(n));
  return response;
}

bool ServesPage(int port) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (HttpGet(port).find(kPage) != std::string::npos) return true;
    Sleep(50);
  }
  return false;
}

// Where the build put the stand-in: STANDIN_DIR (a Unix path under Wine is reached
// through drive Z:), else beside this test program.
fs::path StandinExe() {
  std::vector<fs::path> candidates;
  if (const char* dir = std::getenv("STANDIN_DIR")) {
    candidates.push_back(fs::path(dir) / STANDIN_EXE);
    if (dir[0] == '/') candidates.push_back(fs::path(std::string("Z:") + dir) / STANDIN_EXE);
  }
  wchar_t self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH))
    candidates.push_back(fs::path(self).parent_path() / STANDIN_EXE);
  for (const auto& c : candidates)
    if (fs::exists(c)) return c;
  return {};
}

uint64_t CreationTime(HANDLE process) {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

bool StillRuns(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

class ProcessWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    standin_ = StandinExe();
    ASSERT_FALSE(standin_.empty()) << "the stand-in " << STANDIN_EXE << " was not found";
    g_.ServerPort = FreePort();
  }

  void TearDown() override {
    // Whatever a test left running: the tracked server and the processes it started itself.
    for (size_t i = 0; i < servers_.size(); ++i) {
      Handle h(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                           FALSE, servers_[i]));
      if (h.Get() && CreationTime(h.Get()) == start_times_[i]) {
        TerminateProcess(h.Get(), 1);
        EXPECT_EQ(WaitForSingleObject(h.Get(), 10000), WAIT_OBJECT_0)
            << "the server " << servers_[i] << " outlived its termination";
      }
    }
    for (const Handle& h : strangers_) {
      TerminateProcess(h.Get(), 1);
      EXPECT_EQ(WaitForSingleObject(h.Get(), 10000), WAIT_OBJECT_0)
          << "the stand-in " << GetProcessId(h.Get()) << " outlived its termination";
    }
    WSACleanup();
  }

  // An installation folder holding the stand-in as php\php.exe and a page to serve.
  fs::path MakeInstallation(const std::string& name) {
    const fs::path dir = temp_.Path() / name;
    fs::create_directories(dir / "php" / "www" / "public");
    fs::copy_file(standin_, dir / "php" / "php.exe");
    temp_.Write(name + "/php/www/public/index.html", std::string("<p>") + kPage + "</p>\n");
    return dir;
  }

  std::unique_ptr<server::ServerControl> Control(const fs::path& install_dir) {
    return std::make_unique<server::ServerControl>(
        g_, *processes_, [this](const std::string& t) { warnings_.push_back(t); },
        install_dir.string());
  }

  void Start(server::ServerControl& control) {
    control.Start();
    if (g_.ServerPid != 0) {
      servers_.push_back(static_cast<DWORD>(g_.ServerPid));
      const Handle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, servers_.back()));
      start_times_.push_back(CreationTime(h.Get()));
    }
  }

  bool StopsRunning(server::ServerControl& control) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (!control.IsServerRunning(g_.ServerPid)) return true;
      Sleep(20);
    }
    return false;
  }

  // A stand-in started by the test itself, unknown to ServerControl.
  Handle& StartStranger(const fs::path& install_dir, int port, DWORD* pid) {
    std::wstring command = Widen(server::ServerCommandLine(port));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    const std::wstring program = (install_dir / "php" / "php.exe").wstring();
    const std::wstring dir = install_dir.wstring();
    EXPECT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                               CREATE_NEW_CONSOLE, nullptr, dir.c_str(), &startup, &info));
    Handle thread(info.hThread);
    *pid = info.dwProcessId;
    strangers_.emplace_back(info.hProcess);
    return strangers_.back();
  }

  testing_support::TempDir temp_;
  fs::path standin_;
  GlobalVariables g_;
  std::unique_ptr<platform::Processes> processes_ = platform::MakeProcesses();
  std::vector<std::string> warnings_;
  std::vector<DWORD> servers_;
  std::vector<uint64_t> start_times_;
  std::deque<Handle> strangers_;  // references to its elements stay valid
};

TEST_F(ProcessWin32Test, ServerLivesUntilTerminatedFromOutside) {
  auto control = Control(MakeInstallation("monitor"));
  Start(*control);
  ASSERT_NE(g_.ServerPid, 0) << (warnings_.empty() ? "" : warnings_[0]);
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  EXPECT_TRUE(control->IsServerRunning(g_.ServerPid));
  // No console window that a terminal could show, and the request log is written.
  const std::string console = HttpGet(g_.ServerPort, "/.standin/console");
  EXPECT_NE(console.find("\r\n\r\nconsole window: none\nstandard error: "), std::string::npos)
      << console;
  EXPECT_NE(console.find(" written, 0 failed\n"), std::string::npos) << console;
  EXPECT_EQ(console.find("standard error: 0 written"), std::string::npos) << console;

  const int32_t first = g_.ServerPid;
  control->Start();  // tracked already: nothing is launched
  EXPECT_EQ(g_.ServerPid, first);

  // A process it started keeps the write end of its output pipe (here this test does).
  HANDLE write_end = nullptr;
  {
    Handle h(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_DUP_HANDLE, FALSE,
                         static_cast<DWORD>(first)));
    ASSERT_NE(h.Get(), nullptr);
    const std::string value = HttpGet(g_.ServerPort, "/.standin/stderr");
    ASSERT_TRUE(DuplicateHandle(
        h.Get(), reinterpret_cast<HANDLE>(std::stoull(value.substr(value.find("\r\n\r\n") + 4))),
        GetCurrentProcess(), &write_end, 0, FALSE, DUPLICATE_SAME_ACCESS));
    ASSERT_TRUE(TerminateProcess(h.Get(), 3));
    ASSERT_EQ(WaitForSingleObject(h.Get(), 5000), WAIT_OBJECT_0);
  }
  const Handle held(write_end);
  EXPECT_TRUE(StopsRunning(*control));
  // Once what was waiting is read, the read end is closed all the same.
  control->DrainServerOutput();
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(held.Get(), "x", 1, &written, nullptr)) << "the read end is still open";
  // Its end seen, the server cannot be reached, though its handle is still held.
  EXPECT_FALSE(control->KillServer(g_.ServerPid));
  control->Stop();
  EXPECT_EQ(warnings_, std::vector<std::string>{"Unable to access running Webserver."});
}

TEST_F(ProcessWin32Test, InstallationFolderWithBlanks) {
  auto control = Control(MakeInstallation("Dravelo WEB Monitor"));
  Start(*control);
  ASSERT_NE(g_.ServerPid, 0) << (warnings_.empty() ? "" : warnings_[0]);
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  // Without a php.ini the server's environment is ours as it is.
  EXPECT_EQ(HttpGet(g_.ServerPort, "/.standin/environment").find("PHP"), std::string::npos);
  control->Stop();
  EXPECT_TRUE(warnings_.empty());
  EXPECT_TRUE(StopsRunning(*control));
  EXPECT_TRUE(HttpGet(g_.ServerPort).empty());
}

TEST_F(ProcessWin32Test, AnInstalledPhpIniIsTheOneTheServerReads) {
  const fs::path install = MakeInstallation("monitor");
  temp_.Write("monitor/php/php.ini", "");
  SetEnvironmentVariableW(L"phprc", L"C:\\Other");  // replaced, whatever its case
  Start(*Control(install));
  SetEnvironmentVariableW(L"phprc", nullptr);
  ASSERT_TRUE(ServesPage(g_.ServerPort));
  const std::string reply = HttpGet(g_.ServerPort, "/.standin/environment");
  EXPECT_NE(reply.find("\nPHPRC=" + (install / "php").string() + "\n"), std::string::npos) << reply;
  EXPECT_NE(reply.find("\nPHP_INI_SCAN_DIR=\n"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("phprc="), std::string::npos);
}

TEST_F(ProcessWin32Test, AnotherProcessIsLeftAlone) {
  const fs::path install = MakeInstallation("monitor");
  auto control = Control(install);
  const int port = FreePort();
  DWORD pid = 0;
  Handle& stranger = StartStranger(install, port, &pid);
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(ServesPage(port));

  // The identifier names a process that the control did not launch.
  g_.ServerPid = static_cast<int32_t>(pid);
  EXPECT_FALSE(control->IsServerRunning(g_.ServerPid));
  EXPECT_FALSE(control->KillServer(g_.ServerPid));
  control->Stop();
  EXPECT_EQ(warnings_, std::vector<std::string>{"Unable to access running Webserver."});
  EXPECT_TRUE(StillRuns(stranger.Get()));
  EXPECT_TRUE(ServesPage(port));
}

TEST_F(ProcessWin32Test, PortInUseOrReservedIsRefused) {
  auto control = Control(MakeInstallation("monitor"));
  const std::string port = std::to_string(g_.ServerPort);
  {
    Socket listener;
    const sockaddr_in addr = Loopback(g_.ServerPort);
    ASSERT_EQ(bind(listener.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener.Get(), 4), 0);
    Start(*control);
    EXPECT_EQ(g_.ServerPid, 0);
    EXPECT_EQ(warnings_, std::vector<std::string>{"TCP port " + port + " is already in use" +
                                                  testing_support::PortHeldByUs()});
  }
  EXPECT_EQ(processes_->LoopbackPortState(g_.ServerPort), platform::PortState::Free);

  // A reserved range cannot be made here; a socket bound exclusively to the port on
  // every address refuses the bind the same way (WSAEACCES), with nothing listening.
  Socket exclusive;
  BOOL on = TRUE;
  setsockopt(exclusive.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  sockaddr_in any = Loopback(g_.ServerPort);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(exclusive.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
  warnings_.clear();
  Start(*control);
  EXPECT_EQ(g_.ServerPid, 0);
  EXPECT_EQ(warnings_,
            std::vector<std::string>{"TCP port " + port + " is reserved by the system."});
  // Once something listens there, the port is in use, not reserved.
  ASSERT_EQ(listen(exclusive.Get(), 4), 0);
  EXPECT_EQ(processes_->LoopbackPortState(g_.ServerPort), platform::PortState::InUse);
}

// Winsock is loaded at the first port check; without it nothing is launched.
TEST_F(ProcessWin32Test, APortThatCannotBeCheckedIsReported) {
  processes_ = platform::win32::MakeProcesses(L"no_such_winsock.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
  auto control = Control(MakeInstallation("monitor"));
  Start(*control);
  Start(*control);  // tried again, without a crash and with the same answer
  EXPECT_EQ(g_.ServerPid, 0);
  const std::string warning = "TCP port " + std::to_string(g_.ServerPort) +
                              " cannot be checked: the system's network library could not be "
                              "loaded.";
  EXPECT_EQ(warnings_, (std::vector<std::string>{warning, warning}));
  // With the system's own library it starts, also where the system refuses the search flags.
  processes_ = platform::win32::MakeProcesses(
      L"ws2_32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_WITH_ALTERED_SEARCH_PATH);
  warnings_.clear();
  auto working = Control(MakeInstallation("monitor2"));
  Start(*working);
  EXPECT_NE(g_.ServerPid, 0);
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(ProcessWin32Test, OnlyALiveListenerTakesThePort) {
  // The listening side closes first, so its port is left with a connection in TIME_WAIT.
  const int port = g_.ServerPort;
  {
    Socket listener, client;
    const sockaddr_in addr = Loopback(port);
    ASSERT_EQ(bind(listener.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener.Get(), 4), 0);
    ASSERT_EQ(connect(client.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    const SOCKET accepted = accept(listener.Get(), nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(processes_->LoopbackPortState(port), platform::PortState::InUse);
    closesocket(accepted);
    char byte;
    recv(client.Get(), &byte, 1, 0);  // the peer's close arrives
  }
  EXPECT_EQ(processes_->LoopbackPortState(port), platform::PortState::Free);

  // Bound but not listening: the exclusive bind fails, yet nothing accepts there.
  Socket bound;
  const sockaddr_in addr = Loopback(port);
  ASSERT_EQ(bind(bound.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(processes_->LoopbackPortState(port), platform::PortState::Free);
}

// A server that writes megabytes of log is never held up by its pipe.
TEST_F(ProcessWin32Test, ALoudServerIsDrainedAndKeepsServing) {
  SetEnvironmentVariableW(L"STANDIN_NOISE_MB", L"5");
  auto control = Control(MakeInstallation("monitor"));
  Start(*control);
  SetEnvironmentVariableW(L"STANDIN_NOISE_MB", nullptr);
  ASSERT_NE(g_.ServerPid, 0);
  bool served = false;
  for (int i = 0; i < 200 && !served; ++i, Sleep(50)) {
    control->DrainServerOutput();
    served = control->IsServerRunning(g_.ServerPid) &&
             HttpGet(g_.ServerPort).find(kPage) != std::string::npos;
  }
  EXPECT_TRUE(served) << "the server waits on a full pipe";
}

// Wine names no owner of any socket (0), so the owners come from a table of the
// test's, in GetExtendedTcpTable's layout; their names are the system's.
struct TableRow {
  bool ipv6;
  DWORD address;  // IPv4 in network order; IPv6: 0 is ::, anything else ::1
  DWORD pid;
};
std::vector<TableRow> table_rows;
int table_port = 0;

DWORD WINAPI TestTcpTable(void* table, unsigned long* size, int, unsigned long family, int,
                          unsigned long) {
  std::vector<unsigned char> bytes;
  const auto fill = [&](auto* header, auto row_of) {
    using Row = std::remove_reference_t<decltype(header->table[0])>;
    bytes.resize(offsetof(std::remove_pointer_t<decltype(header)>, table) +
                 table_rows.size() * sizeof(Row));
    header = reinterpret_cast<decltype(header)>(bytes.data());
    for (const TableRow& r : table_rows)
      if (r.ipv6 == (family == AF_INET6)) header->table[header->dwNumEntries++] = row_of(r);
  };
  const DWORD port = htons(static_cast<u_short>(table_port));
  if (family == AF_INET)
    fill(static_cast<MIB_TCPTABLE_OWNER_PID*>(nullptr), [&](const TableRow& r) {
      return MIB_TCPROW_OWNER_PID{MIB_TCP_STATE_LISTEN, r.address, port, 0, 0, r.pid};
    });
  else
    fill(static_cast<MIB_TCP6TABLE_OWNER_PID*>(nullptr), [&](const TableRow& r) {
      MIB_TCP6ROW_OWNER_PID row{};
      row.ucLocalAddr[15] = r.address ? 1 : 0;
      row.dwLocalPort = port;
      row.dwState = MIB_TCP_STATE_LISTEN;
      row.dwOwningPid = r.pid;
      return row;
    });
  if (*size < bytes.size()) {
    *size = static_cast<unsigned long>(bytes.size());
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(table, bytes.data(), bytes.size());
  return NO_ERROR;
}

TEST_F(ProcessWin32Test, TheOwnerOfAPortIsNamed) {
  processes_ =
      platform::win32::MakeProcesses(L"ws2_32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32, TestTcpTable);
  table_port = g_.ServerPort;
  const DWORD us = GetCurrentProcessId();
  const DWORD gone = 0x7FFFFFF0;
  Socket holder;
  const sockaddr_in addr = Loopback(table_port);
  ASSERT_EQ(bind(holder.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder.Get(), SOMAXCONN), 0);  // each check connects; none is accepted
  const fs::path install = MakeInstallation("monitor");
  // A process that may not be opened, as a service is to a standard user: an empty DACL.
  DWORD service = 0;
  ACL empty;
  InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  ASSERT_EQ(SetSecurityInfo(StartStranger(install, FreePort(), &service).Get(), SE_KERNEL_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, service), nullptr);
  const std::string at = "TCP port " + std::to_string(table_port) + " is already in use";
  const struct {
    std::vector<TableRow> rows;
    std::string says;
  } cases[] = {
      {{{false, 0x0100007F, us}},
       " by process_win32_test.exe (process " + std::to_string(us) + ")."},
      {{{false, 0x0501A8C0, us}, {false, 0, 4}},
       " by Windows itself (process 4): HTTP.sys holds it "
       "for a service, such as IIS, WinRM or a URL reservation."},
      {{{true, 1, us}, {true, 0, gone}}, " by process " + std::to_string(gone) + "."},
      {{{false, 0x0501A8C0, us}, {true, 1, us}, {false, 0, 0}}, "."},
      {{{false, 0, us}}, " by process_win32_test.exe (process " + std::to_string(us) + ")."},
      // Named from a snapshot of the processes; on every address of both families.
      {{{true, 0, service}}, " by php.exe (process " + std::to_string(service) + ")."},
  };
  auto control = Control(install);
  for (const auto& c : cases) {
    table_rows = c.rows;
    warnings_.clear();
    Start(*control);
    EXPECT_EQ(warnings_, std::vector<std::string>{at + c.says});
  }
}

TEST_F(ProcessWin32Test, Standin) {
  const fs::path install = MakeInstallation("monitor");
  const int port = FreePort();
  DWORD pid = 0;
  Handle& server = StartStranger(install, port, &pid);
  ASSERT_TRUE(ServesPage(port));
  const struct {
    const char* path;
    const char* status;
  } cases[] = {
      {"/", "HTTP/1.0 200 OK\r\n"},
      {"/index.html", "HTTP/1.0 200 OK\r\n"},
      {"/missing.html", "HTTP/1.0 404 Not Found\r\n"},
      {"/../monitor/php/www/public/index.html", "HTTP/1.0 403 Forbidden\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(HttpGet(port, c.path).rfind(c.status, 0), 0u) << c.path;

  // A second one on the same port cannot listen and ends at once with a failure code.
  Handle& second = StartStranger(install, port, &pid);
  ASSERT_EQ(WaitForSingleObject(second.Get(), 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(second.Get(), &code);
  EXPECT_NE(code, 0u);
  EXPECT_TRUE(StillRuns(server.Get()));
}

TEST_F(ProcessWin32Test, MissingInterpreterIsReported) {
  const fs::path install = MakeInstallation("monitor");
  fs::remove(install / "php" / "php.exe");
  auto control = Control(install);
  Start(*control);
  EXPECT_EQ(g_.ServerPid, 0);
  ASSERT_EQ(warnings_.size(), 1u);
  const std::string prefix = "Unable to start Webserver.\r\n";
  EXPECT_EQ(warnings_[0].rfind(prefix, 0), 0u) << warnings_[0];
  EXPECT_GT(warnings_[0].size(), prefix.size()) << "no reason given";

  // No Windows program (a damaged download): the system's text (ERROR_BAD_EXE_FORMAT) names
  // it by its path where it has the insert "%1".
  temp_.Write("monitor/php/php.exe", "not a program");
  Start(*control);
  ASSERT_EQ(warnings_.size(), 2u);
  EXPECT_NE(warnings_[1].find((install / "php" / "php.exe").string()), std::string::npos);
  EXPECT_EQ(warnings_[1].find("%1"), std::string::npos) << warnings_[1];
}

}  // namespace
