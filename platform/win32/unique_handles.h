// Sole owners of kernel handles, GDI objects, device contexts and windows.
#pragma once

#include <windows.h>

#include <utility>

#include "platform/unique_resource.h"

namespace platform::win32 {

inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DeleteMemoryDc(HDC dc) { DeleteDC(dc); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void FreeEnvironmentBlock(wchar_t* block) { FreeEnvironmentStringsW(block); }
inline void DestroyWindowHandle(HWND window) { DestroyWindow(window); }

class UniqueHandle : public platform::UniqueResource<HANDLE, CloseKernelHandle, nullptr> {
 public:
  UniqueHandle() = default;
  // Some calls fail with INVALID_HANDLE_VALUE, others with null; both mean none.
  explicit UniqueHandle(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

using UniqueBrush = platform::UniqueResource<HBRUSH, DeleteGdiObject, nullptr>;
using UniqueFont = platform::UniqueResource<HFONT, DeleteGdiObject, nullptr>;
using UniqueBitmap = platform::UniqueResource<HBITMAP, DeleteGdiObject, nullptr>;
using UniqueIcon = platform::UniqueResource<HICON, DestroyIconHandle, nullptr>;
using UniqueEnvironmentBlock = platform::UniqueResource<wchar_t*, FreeEnvironmentBlock, nullptr>;
using UniqueWindow = platform::UniqueResource<HWND, DestroyWindowHandle, nullptr>;
// A device context of CreateCompatibleDC.
using UniqueMemoryDc = platform::UniqueResource<HDC, DeleteMemoryDc, nullptr>;

// The device context of a window (null: the screen), released to it.
class UniqueWindowDc {
 public:
  explicit UniqueWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~UniqueWindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  UniqueWindowDc(UniqueWindowDc&& other) noexcept
      : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
  UniqueWindowDc& operator=(UniqueWindowDc&&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for a scope; the one it replaced is
// selected back at the scope's end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace platform::win32
