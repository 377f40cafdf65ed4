// A sole owner of a system resource: move-only, released on destruction.
#pragma once

#include <utility>

namespace platform {

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
  // Releases what it owns and gives the place to fill, for a call that hands its
  // resource out through a pointer (CreatePipe, say).
  T* Put() {
    Reset();
    return &value_;
  }
  // Gives the value up without releasing it.
  T Release() { return std::exchange(value_, static_cast<T>(Empty)); }

 private:
  T value_ = static_cast<T>(Empty);
};

}  // namespace platform
