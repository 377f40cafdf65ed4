// Where the program's DLLs come from: the system folder, never the program's
// own (a ZIP unpacked into Downloads shares that folder with whatever else was
// downloaded). The header needs no Windows header.
#pragma once

#include <string>

namespace platform::win32 {

// The address of the function `name` in `module` (an HMODULE); null when the
// module or the function is missing.
void* ProcAddress(void* module, const char* name);

// Binds `function` late, to `name` in `module`; false when it is missing. The one
// way the program reaches a function that not every Windows has, or a DLL that
// is loaded at run time.
template <class Fn>
bool BindLate(void* module, const char* name, Fn& function) {
  // Through void*: GetProcAddress's own type is that of no function in particular.
  function = reinterpret_cast<Fn>(ProcAddress(module, name));
  return function != nullptr;
}

// The full path of `name` in the system folder; empty when that is unknown.
std::wstring SystemFolderPath(const wchar_t* name);

// `name` (an HMODULE) from the system folder only, never one planted beside the
// program or found through the search path; `flags` (LoadLibraryExW's) are those
// of the first try. Null when it cannot be loaded. Kept until the process ends.
void* LoadSystemLibrary(const wchar_t* name, unsigned long flags);

// The program's first call: from then on a DLL loaded by name, by the program
// or by the system's DLLs for it, comes from the system folder.
void LoadDllsFromSystemFolderOnly();

// Loads the common controls (version 6 through the manifest's activation
// context) and registers the control classes `icc_classes`. False when the
// library or its function is missing; the system's plain controls remain.
bool LoadCommonControls(unsigned long icc_classes);

}  // namespace platform::win32
