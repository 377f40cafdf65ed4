// Which system the Windows tests run on, and which path a step takes there.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

// Wine's ntdll exports wine_get_version.
inline bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

// A step that uses a facility of Wine's takes Windows' path on Windows, and
// under Wine too with MONITOR_WINDOWS_PATHS=1.
inline bool WindowsPaths() {
  const char* forced = std::getenv("MONITOR_WINDOWS_PATHS");
  return !UnderWine() || (forced && std::string(forced) == "1");
}

// How the program's report of a port this test program holds ends: Windows
// names us; Wine's table gives every socket the owner 0.
inline std::string PortHeldByUs() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return UnderWine() ? "."
                     : " by " + std::filesystem::path(self).filename().string() + " (process " +
                           std::to_string(GetCurrentProcessId()) + ").";
}

}  // namespace testing_support
