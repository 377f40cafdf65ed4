// Declarations for the notification area: the icon record handed to
// Shell_NotifyIconA and the constants that go with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr uint32_t kNimAdd = 0;
inline constexpr uint32_t kNimModify = 1;
inline constexpr uint32_t kNimDelete = 2;
// Sets the icon's contract with the shell (NOTIFYICON_VERSION), under which the
// keyboard's Enter or Space on the icon come as kNinKeySelect, not as right-button
// events. The backend hands the shell a record of that version's size.
inline constexpr uint32_t kNimSetVersion = 4;
inline constexpr uint32_t kNotifyIconVersion = 3;
inline constexpr uint32_t kNifMessage = 1;
inline constexpr uint32_t kNifIcon = 2;
inline constexpr uint32_t kNifTip = 4;
// The icon's events reach its window as this message (WM_APP + 1), with the
// mouse event's code in lParam.
inline constexpr uint32_t kTrayCallbackMessage = 0x8000 + 1;
inline constexpr int kLeftButtonDown = 0x0201;
// Under kNotifyIconVersion: the icon chosen with the mouse, or with the keyboard.
inline constexpr int kNinSelect = 0x0400;
inline constexpr int kNinKeySelect = 0x0401;

// The first-version ANSI notification-icon record: 88 bytes in a 32-bit
// build, 104 in a 64-bit one (the handles widen and are aligned).
struct NotifyIconRecord {
  uint32_t cbSize;
  void* hWnd;
  uint32_t uID;
  uint32_t uFlags;
  uint32_t uCallbackMessage;
  void* hIcon;
  char szTip[64];
};
static_assert(sizeof(void*) != 4 || sizeof(NotifyIconRecord) == 88);
static_assert(sizeof(void*) != 8 || sizeof(NotifyIconRecord) == 104);
static_assert(offsetof(NotifyIconRecord, szTip) == (sizeof(void*) == 4 ? 24 : 40));

// Shell_NotifyIconA; the result is the call's own.
class NotifyArea {
 public:
  virtual ~NotifyArea() = default;
  virtual bool ShellNotifyIcon(uint32_t message, const NotifyIconRecord& record) = 0;
};

}  // namespace platform
