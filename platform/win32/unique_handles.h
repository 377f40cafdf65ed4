// Sole owners of kernel handles, sockets and GDI objects.
#pragma once

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include "platform/unique_resource.h"

namespace platform::win32 {

inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void CloseSocket(SOCKET s) { closesocket(s); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void FreeEnvironmentBlock(wchar_t* block) { FreeEnvironmentStringsW(block); }

class UniqueHandle : public platform::UniqueResource<HANDLE, CloseKernelHandle, nullptr> {
 public:
  UniqueHandle() = default;
  // Some calls fail with INVALID_HANDLE_VALUE, others with null; both mean none.
  explicit UniqueHandle(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

using UniqueSocket = platform::UniqueResource<SOCKET, CloseSocket, INVALID_SOCKET>;
using UniqueBrush = platform::UniqueResource<HBRUSH, DeleteGdiObject, nullptr>;
using UniqueFont = platform::UniqueResource<HFONT, DeleteGdiObject, nullptr>;
using UniqueBitmap = platform::UniqueResource<HBITMAP, DeleteGdiObject, nullptr>;
using UniqueIcon = platform::UniqueResource<HICON, DestroyIconHandle, nullptr>;
using UniqueEnvironmentBlock = platform::UniqueResource<wchar_t*, FreeEnvironmentBlock, nullptr>;

}  // namespace platform::win32
