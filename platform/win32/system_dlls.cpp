#include "platform/win32/system_dlls.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace platform::win32 {
namespace {

// Not KnownDLLs, and loaded by name by the common controls, the themes, DWM and
// the shell's dialogs: where the search by name cannot be restricted, each is
// loaded from the system folder first, so that a later load by name finds it
// loaded. Kept until the process ends.
constexpr const wchar_t* kLoadedByName[] = {
    L"uxtheme.dll", L"dwmapi.dll",  L"version.dll", L"propsys.dll",
    L"userenv.dll", L"apphelp.dll", L"oleacc.dll",  L"cryptbase.dll",
};

void PreloadFromSystemFolder() {
  for (const wchar_t* name : kLoadedByName) {
    const std::wstring path = SystemFolderPath(name);
    if (!path.empty()) LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

}  // namespace

void* ProcAddress(void* module, const char* name) {
  return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name))
                : nullptr;
}

std::wstring SystemFolderPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(folder, n) + L'\\' + name;
}

void* LoadSystemLibrary(const wchar_t* dll, unsigned long flags) {
  if (const HMODULE module = LoadLibraryExW(dll, nullptr, flags)) return module;
  // Windows 7 without KB2533623 knows no LOAD_LIBRARY_SEARCH_* flags and refuses them.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  // The full path; its own imports are then looked for in its folder first.
  const std::wstring path = SystemFolderPath(dll);
  return path.empty() ? nullptr
                      : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void LoadDllsFromSystemFolderOnly() {
  // Windows 8 and later, and 7 or Vista with KB2533623.
  BOOL(WINAPI * set_default)(DWORD) = nullptr;
  if (BindLate(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories", set_default) &&
      set_default(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  // The current folder leaves the search; the program's own cannot.
  SetDllDirectoryW(L"");
  PreloadFromSystemFolder();
}

bool LoadCommonControls(unsigned long icc_classes) {
  // Kept until the process ends: the controls' window procedures live in it.
  const HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
  BOOL(WINAPI * init)(const INITCOMMONCONTROLSEX*) = nullptr;
  if (!BindLate(comctl32, "InitCommonControlsEx", init)) return false;
  const INITCOMMONCONTROLSEX controls{sizeof controls, icc_classes};
  return init(&controls) != FALSE;
}

}  // namespace platform::win32
