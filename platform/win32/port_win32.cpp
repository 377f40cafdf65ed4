// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>
#include <tlhelp32.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/port_win32.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"

namespace platform::win32 {
namespace {

constexpr int kConnectWaitMs = 200;
// The process that stands for the system itself; HTTP.sys listens as it.
constexpr DWORD kSystemPid = 4;

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
    const HMODULE module = static_cast<HMODULE>(LoadSystemLibrary(dll_, load_flags_));
    if (!module) return false;
    decltype(&::WSAStartup) startup = nullptr;
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

uint16_t NetworkOrder(DWORD port) {
  return static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
}

// The file name at the end of a path.
std::string FileName(std::wstring_view path) {
  return Narrow(path.substr(path.find_last_of(L"\\/") + 1));
}

// The program's file name of `pid`: from its image path where the process can be
// opened, else from a snapshot of the processes, which needs no access to it (a
// service, another user's program) and names 64-bit processes to a 32-bit program too.
PortOwner Named(DWORD pid) {
  PortOwner owner{static_cast<int32_t>(pid), {}, pid == kSystemPid};
  // Room for the longest path the system allows, not MAX_PATH.
  std::wstring path(UNICODE_STRING_MAX_CHARS, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
      process && QueryFullProcessImageNameW(process.Get(), 0, path.data(), &size)) {
    owner.name = FileName(std::wstring_view(path).substr(0, size));
    return owner;
  }
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry))
    if (entry.th32ProcessID == pid) owner.name = FileName(entry.szExeFile);
  return owner;
}

class Win32LoopbackPorts : public LoopbackPorts {
 public:
  Win32LoopbackPorts(const wchar_t* socket_library, DWORD load_flags, TcpTableQuery tcp_table)
      : sockets_(socket_library, load_flags), tcp_table_(tcp_table) {}

  PortState State(int port) override {
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

  // A listener on 127.0.0.1, 0.0.0.0 or ::, from the system's tables of the TCP
  // listeners with their processes.
  std::optional<PortOwner> Owner(int port) override {
    const TcpTableQuery query = TableQuery();
    if (!query) return std::nullopt;
    for (const ULONG family : {ULONG{AF_INET}, ULONG{AF_INET6}}) {
      std::vector<unsigned char> table;
      DWORD size = 0, result = ERROR_INSUFFICIENT_BUFFER;
      for (int tries = 0; tries < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++tries) {
        table.resize(size);
        result = query(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                       TCP_TABLE_OWNER_PID_LISTENER, 0);
      }
      if (result != NO_ERROR || table.empty()) continue;
      // Wine gives 0 for every owner: that is no owner found.
      if (const DWORD pid = family == AF_INET ? OwnerIn4(table, port) : OwnerIn6(table, port))
        return Named(pid);
    }
    return std::nullopt;
  }

 private:
  static DWORD OwnerIn4(const std::vector<unsigned char>& bytes, int port) {
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(bytes.data());
    constexpr DWORD kLoopback = 0x0100007F;  // 127.0.0.1 in network order
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = table->table[i];
      if (NetworkOrder(row.dwLocalPort) == port &&
          (row.dwLocalAddr == kLoopback || row.dwLocalAddr == 0))
        return row.dwOwningPid;
    }
    return 0;
  }

  static DWORD OwnerIn6(const std::vector<unsigned char>& bytes, int port) {
    const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(bytes.data());
    static constexpr UCHAR kAny[16] = {};
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
      if (NetworkOrder(row.dwLocalPort) == port &&
          std::equal(std::begin(kAny), std::end(kAny), std::begin(row.ucLocalAddr)))
        return row.dwOwningPid;
    }
    return 0;
  }

  // GetExtendedTcpTable, bound at the first question; iphlpapi is not loaded before.
  TcpTableQuery TableQuery() {
    if (tcp_table_ || tried_table_) return tcp_table_;
    tried_table_ = true;
    BindLate(LoadSystemLibrary(L"iphlpapi.dll", LOAD_LIBRARY_SEARCH_SYSTEM32),
             "GetExtendedTcpTable", tcp_table_);
    return tcp_table_;
  }

  SocketLibrary sockets_;
  TcpTableQuery tcp_table_;
  bool tried_table_ = false;
};

}  // namespace

std::unique_ptr<LoopbackPorts> MakeLoopbackPorts(const wchar_t* socket_library,
                                                 unsigned long load_flags,
                                                 TcpTableQuery tcp_table) {
  return std::make_unique<Win32LoopbackPorts>(socket_library, load_flags, tcp_table);
}

}  // namespace platform::win32
