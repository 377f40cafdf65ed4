#include "platform/posix/port_posix.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/posix/unique_fd.h"
#include "platform/unique_resource.h"

namespace platform::posix {

namespace {

void CloseDir(DIR* dir) { closedir(dir); }
using UniqueDir = UniqueResource<DIR*, CloseDir, nullptr>;

constexpr char kListen[] = "0A";

// The inode of the socket that listens on `port` at 127.0.0.1 or every address,
// from a table in the layout of /proc/net/tcp; 0 when none.
unsigned long ListeningInode(const char* table, int port, bool ipv6) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // the heading
  const std::string any = ipv6 ? std::string(32, '0') : "00000000";
  // The address as the kernel prints its bytes: 127.0.0.1 reads 0100007F.
  const std::string loopback = ipv6 ? std::string() : "0100007F";
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode))
      continue;
    const size_t colon = local.find(':');
    if (state != kListen || colon == std::string::npos) continue;
    const std::string address = local.substr(0, colon);
    if (std::strtol(local.c_str() + colon + 1, nullptr, 16) != port) continue;
    if (address == any || (!loopback.empty() && address == loopback))
      return std::strtoul(inode.c_str(), nullptr, 10);
  }
  return 0;
}

// The process that has the socket `inode` open.
std::optional<PortOwner> HolderOf(unsigned long inode) {
  const std::string want = "socket:[" + std::to_string(inode) + "]";
  const UniqueDir proc(opendir("/proc"));
  if (!proc) return std::nullopt;
  while (const dirent* entry = readdir(proc.Get())) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    const std::string fd_dir = "/proc/" + std::string(entry->d_name) + "/fd";
    const UniqueDir fds(opendir(fd_dir.c_str()));
    if (!fds) continue;
    while (const dirent* fd = readdir(fds.Get())) {
      char target[64];
      const std::string link = fd_dir + "/" + fd->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0 || std::string(target, static_cast<size_t>(n)) != want) continue;
      PortOwner owner{static_cast<int32_t>(pid), {}, false};
      char exe[PATH_MAX];
      const std::string exe_link = "/proc/" + std::string(entry->d_name) + "/exe";
      const ssize_t m = readlink(exe_link.c_str(), exe, sizeof exe - 1);
      if (m > 0) {
        const std::string path(exe, static_cast<size_t>(m));
        owner.name = path.substr(path.rfind('/') + 1);
      } else if (std::ifstream comm("/proc/" + std::string(entry->d_name) + "/comm"); comm) {
        std::getline(comm, owner.name);
      }
      return owner;
    }
  }
  return std::nullopt;
}

}  // namespace

PortState LoopbackPortState(int port) {
  UniqueFd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.Valid()) return PortState::Free;
  // On Linux SO_REUSEADDR passes over TIME_WAIT leftovers but not over a live listener.
  const int on = 1;
  setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
    return PortState::Free;
  if (errno == EADDRINUSE) return PortState::InUse;
  // A privileged port for a user without the right to bind it.
  if (errno == EACCES) return PortState::Reserved;
  return PortState::Free;
}

std::optional<PortOwner> LoopbackPortOwner(int port) {
  unsigned long inode = ListeningInode("/proc/net/tcp", port, false);
  if (inode == 0) inode = ListeningInode("/proc/net/tcp6", port, true);
  if (inode == 0) return std::nullopt;
  return HolderOf(inode);
}

}  // namespace platform::posix
