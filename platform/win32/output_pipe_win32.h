// The pipe that a server's standard output and error go to, read without waiting.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32/unique_handles.h"

namespace platform::win32 {

// The read end, with one overlapped read kept pending into a buffer of its own: what
// the server writes is seen in the read's status, without a call into the system.
// It stays where it was made while a read may be pending.
class OutputPipe {
 public:
  OutputPipe(UniqueHandle pipe, UniqueHandle event);
  ~OutputPipe() { Close(); }
  OutputPipe(const OutputPipe&) = delete;
  OutputPipe& operator=(const OutputPipe&) = delete;

  // Moves what has arrived into `kept` (up to `limit` bytes in all; the rest is
  // dropped), at most kDrainBytes a call: finished reads are taken and new ones started
  // until one stays pending. With `ended`, the pipe is closed then, also while a
  // process that the server started holds its write end.
  void Drain(std::string& kept, size_t limit, bool ended);
  void Close();

 private:
  UniqueHandle pipe_;
  UniqueHandle event_;  // the pending read's
  OVERLAPPED overlapped_{};
  bool pending_ = false;
  char buffer_[64 * 1024];
};

// A new pipe: a named pipe of this process's own under a name no one can guess, in one
// instance, refusing remote clients, which the user alone may open; an anonymous pipe
// cannot be read overlapped. `write_end` receives the end for the server to inherit,
// for plain writes. Null, with GetLastError's code in `error`, when it cannot be made.
std::unique_ptr<OutputPipe> MakeOutputPipe(UniqueHandle& write_end, unsigned long& error);

}  // namespace platform::win32
