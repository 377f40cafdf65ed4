#include "support/posix_net.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

namespace {

// Owns one socket descriptor.
class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int Get() const { return fd_; }

 private:
  int fd_;
};

bool Connect(const Socket& s, int port) {
  const sockaddr_in addr = Loopback(port);
  return s.Get() >= 0 &&
         connect(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

}  // namespace

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int Listener::Listen(int port, const char* address) {
  Close();
  sockaddr_in6 addr{};  // its port lies where an IPv4 address has it
  auto& v4 = reinterpret_cast<sockaddr_in&>(addr);
  const bool v6 = inet_pton(AF_INET6, address, &addr.sin6_addr) == 1;
  if (!v6) v4 = Loopback(port), inet_pton(AF_INET, address, &v4.sin_addr);
  addr.sin6_family = v6 ? AF_INET6 : AF_INET;
  addr.sin6_port = htons(static_cast<uint16_t>(port));
  fd_ = socket(addr.sin6_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Passes over TIME_WAIT leftovers of a server that served this port a moment ago.
  const int on = 1, off = 0;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (v6) setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
  socklen_t len = v6 ? sizeof addr : sizeof v4;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd_, 4) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return 0;
  return ntohs(addr.sin6_port);
}

void Listener::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int FreePort() {
  Listener l;
  return l.Listen(0);
}

std::string HttpGet(int port) {
  const Socket s;
  std::string response;
  if (!Connect(s, port)) return response;
  timeval timeout{2, 0};
  setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  const std::string request = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(s.Get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return response;
  char buffer[4096];
  for (ssize_t n; (n = recv(s.Get(), buffer, sizeof buffer, 0)) > 0;)
    response.append(buffer, static_cast<size_t>(n));
  return response;
}

bool Accepts(int port) { return Connect(Socket(), port); }

bool WaitUntil(const std::function<bool()>& done, int checks, std::chrono::milliseconds pause) {
  for (int check = 0; check < checks; ++check) {
    if (check > 0) std::this_thread::sleep_for(pause);
    if (done()) return true;
  }
  return false;
}

bool ServesPage(int port, const std::string& page, int checks, std::chrono::milliseconds pause) {
  return WaitUntil([&] { return HttpGet(port).find(page) != std::string::npos; }, checks, pause);
}

char ProcState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return '\0';
  const size_t paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() ? '?' : line[paren + 2];
}

bool Ended(pid_t pid) {
  const char state = ProcState(pid);
  return state == '\0' || state == 'Z' || state == 'X';
}

std::vector<pid_t> Children() {
  namespace fs = std::filesystem;
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(line.substr(paren + 1));
    char state;
    long ppid = 0;
    if (fields >> state >> ppid && ppid == getpid()) children.push_back(std::stoi(name));
  }
  return children;
}

bool AllChildrenEnded() {
  for (pid_t pid : Children())
    if (!Ended(pid)) return false;
  return true;
}

void KillAndReap(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace testing_support
