// Sole owners of kernel handles and sockets: move-only, closed on destruction.
#pragma once

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <utility>

namespace platform::win32 {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  // Some calls fail with INVALID_HANDLE_VALUE, others with null; both mean none.
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET s) : s_(s) {}
  ~UniqueSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;

  SOCKET Get() const { return s_; }
  bool Valid() const { return s_ != INVALID_SOCKET; }

 private:
  SOCKET s_;
};

}  // namespace platform::win32
