#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "platform/declarations.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

namespace {

// The portable record is the leading part of NOTIFYICONDATAA, field for field.
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == offsetof(NotifyIconRecord, hWnd));
static_assert(offsetof(NOTIFYICONDATAA, uID) == offsetof(NotifyIconRecord, uID));
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == offsetof(NotifyIconRecord, uFlags));
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) ==
              offsetof(NotifyIconRecord, uCallbackMessage));
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == offsetof(NotifyIconRecord, hIcon));
static_assert(offsetof(NOTIFYICONDATAA, szTip) == offsetof(NotifyIconRecord, szTip));
static_assert(sizeof(NotifyIconRecord) == NOTIFYICONDATAA_V1_SIZE);
static_assert(kNimAdd == NIM_ADD && kNimModify == NIM_MODIFY && kNimDelete == NIM_DELETE);
static_assert(kNifMessage == NIF_MESSAGE && kNifIcon == NIF_ICON && kNifTip == NIF_TIP);
static_assert(kTrayCallbackMessage == WM_APP + 1);
static_assert(kLeftButtonDown == WM_LBUTTONDOWN);
static_assert(kNimSetVersion == NIM_SETVERSION && kNotifyIconVersion == NOTIFYICON_VERSION);
static_assert(kNinSelect == NIN_SELECT && kNinKeySelect == NIN_KEYSELECT);

class ShellNotifyArea : public NotifyArea {
 public:
  bool ShellNotifyIcon(uint32_t message, const NotifyIconRecord& record) override {
    NOTIFYICONDATAA data{};
    std::memcpy(&data, &record, sizeof record);
    if (message == NIM_SETVERSION) {
      // The version is a field of the second record's size, not of the first's.
      data.cbSize = NOTIFYICONDATAA_V2_SIZE;
      data.uVersion = NOTIFYICON_VERSION;
    }
    return Shell_NotifyIconA(message, &data) != FALSE;
  }
};

}  // namespace

std::unique_ptr<NotifyArea> MakeNotifyArea() { return std::make_unique<ShellNotifyArea>(); }

}  // namespace platform::win32
