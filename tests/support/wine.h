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

// Under Wine, MONITOR_WINDOWS_PATHS=1 asks for Windows' paths (below).
inline bool WindowsPathsForced() {
  const char* forced = std::getenv("MONITOR_WINDOWS_PATHS");
  return UnderWine() && forced && std::string(forced) == "1";
}

// How often a step asked which path to take: a test run along Windows' paths that
// asks never adds anything to the run along Wine's.
inline int windows_paths_asked = 0;

// A step that uses a facility of Wine's takes Windows' path on Windows, and
// under Wine too when forced.
inline bool WindowsPaths() {
  ++windows_paths_asked;
  return !UnderWine() || WindowsPathsForced();
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
