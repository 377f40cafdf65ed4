// Loopback sockets, /proc readers and polling for the native tests.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

sockaddr_in Loopback(int port);

// A listening socket on the loopback address, as another program would hold it.
class Listener {
 public:
  Listener() = default;
  ~Listener() { Close(); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Port 0: any free port. On `address`: an IPv4 one, or an IPv6 one where it listens
  // for IPv4 too ("::" dual-stack). Returns the port, or 0.
  int Listen(int port, const char* address = "127.0.0.1");
  void Close();

 private:
  int fd_ = -1;
};

// A port nothing listens on right now, or 0.
int FreePort();

// The whole response to "GET /", or empty when nothing answers.
std::string HttpGet(int port);

// One connection attempt.
bool Accepts(int port);

// Checks `done` up to `checks` times, `pause` apart; true as soon as it holds.
bool WaitUntil(const std::function<bool()>& done, int checks, std::chrono::milliseconds pause);

// HttpGet polled until the response holds `page`.
bool ServesPage(int port, const std::string& page, int checks, std::chrono::milliseconds pause);

// The state letter of /proc/<pid>/stat; '\0' when there is no such process,
// '?' when the line cannot be read.
char ProcState(pid_t pid);

// True once `pid` has ended: gone, or a zombie waiting to be reaped.
bool Ended(pid_t pid);

// This process's children, ended but unreaped ones included.
std::vector<pid_t> Children();

bool AllChildrenEnded();

// SIGKILL, then waits for it; only for this process's own children.
void KillAndReap(pid_t pid);

}  // namespace testing_support
