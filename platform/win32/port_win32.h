// Loopback ports on Windows: whether a server could listen, and who listens.
#pragma once

#include <memory>
#include <optional>

#include "platform/process.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

class LoopbackPorts {
 public:
  virtual ~LoopbackPorts() = default;
  virtual PortState State(int port) = 0;
  virtual std::optional<PortOwner> Owner(int port) = 0;
};

// Winsock from `socket_library`, loaded at the first check (see MakeProcesses); the
// table of listeners from `tcp_table`, or from the system when it is null.
std::unique_ptr<LoopbackPorts> MakeLoopbackPorts(const wchar_t* socket_library,
                                                 unsigned long load_flags, TcpTableQuery tcp_table);

}  // namespace platform::win32
