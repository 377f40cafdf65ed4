// Loopback ports on POSIX: whether a server could listen, and who listens.
#pragma once

#include <optional>

#include "platform/process.h"

namespace platform::posix {

PortState LoopbackPortState(int port);

// From the kernel's socket tables (/proc/net/tcp and tcp6) and the processes'
// open files; a process of another user is found only with the right to see it.
std::optional<PortOwner> LoopbackPortOwner(int port);

}  // namespace platform::posix
