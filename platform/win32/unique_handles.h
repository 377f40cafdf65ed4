// Sole owners of kernel handles, sockets and GDI objects: move-only, released on
// destruction.
#pragma once

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <utility>

namespace platform::win32 {

// Owns a T that `Free` releases; `Empty` is the value that owns nothing.
template <class T, auto Free, auto Empty>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  T Get() const { return value_; }
  bool Valid() const { return value_ != static_cast<T>(Empty); }
  explicit operator bool() const { return Valid(); }
  void Reset(T value = static_cast<T>(Empty)) {
    if (Valid()) Free(value_);
    value_ = value;
  }
  // Gives the value up without releasing it.
  T Release() { return std::exchange(value_, static_cast<T>(Empty)); }

 private:
  T value_ = static_cast<T>(Empty);
};

inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void CloseSocket(SOCKET s) { closesocket(s); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }

class UniqueHandle : public UniqueResource<HANDLE, CloseKernelHandle, nullptr> {
 public:
  UniqueHandle() = default;
  // Some calls fail with INVALID_HANDLE_VALUE, others with null; both mean none.
  explicit UniqueHandle(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

using UniqueSocket = UniqueResource<SOCKET, CloseSocket, INVALID_SOCKET>;
using UniqueBrush = UniqueResource<HBRUSH, DeleteGdiObject, nullptr>;
using UniqueFont = UniqueResource<HFONT, DeleteGdiObject, nullptr>;
using UniqueBitmap = UniqueResource<HBITMAP, DeleteGdiObject, nullptr>;
using UniqueIcon = UniqueResource<HICON, DestroyIconHandle, nullptr>;

}  // namespace platform::win32
