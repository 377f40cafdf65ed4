#include <windows.h>

#include "platform/process.h"
#include "platform/system.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/win32_platform.h"

namespace platform {

uint16_t SystemDefaultLangId() { return GetSystemDefaultLangID(); }

std::string Utf8ToAnsi(const std::string& utf8) {
  const std::wstring wide = win32::Widen(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

const char kInterpreterRelativePath[] = "php\\php.exe";

std::string CurrentDirectory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring dir(n, L'\0');
  const DWORD written = GetCurrentDirectoryW(n, dir.data());
  dir.resize(written);
  while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return win32::Narrow(dir);
}

std::string JoinPath(const std::string& dir, const std::string& relative) {
  if (dir.empty()) return relative;
  if (dir.back() == '\\' || dir.back() == '/') return dir + relative;
  return dir + "\\" + relative;
}

void win32::FailCriticalErrorsQuietly() {
  SetErrorMode(SetErrorMode(SEM_FAILCRITICALERRORS) | SEM_FAILCRITICALERRORS);
}

}  // namespace platform
