// Sole owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>

#include "platform/unique_resource.h"

namespace platform::posix {

inline void CloseFd(int fd) { ::close(fd); }

class UniqueFd : public UniqueResource<int, CloseFd, -1> {
 public:
  using UniqueResource::UniqueResource;
  // Closes now, reporting whether the close succeeded.
  bool Close() { return ::close(Release()) == 0; }
};

}  // namespace platform::posix
