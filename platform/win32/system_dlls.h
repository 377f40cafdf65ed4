// Where the program's DLLs come from: the system folder, never the program's
// own (a ZIP unpacked into Downloads shares that folder with whatever else was
// downloaded). The header needs no Windows header.
#pragma once

#include <string>

namespace platform::win32 {

// The full path of `name` in the system folder; empty when that is unknown.
std::wstring SystemFolderPath(const wchar_t* name);

// The program's first call: from then on a DLL loaded by name, by the program
// or by the system's DLLs for it, comes from the system folder.
void LoadDllsFromSystemFolderOnly();

// Loads the common controls (version 6 through the manifest's activation
// context) and registers the control classes `icc_classes`. False when the
// library or its function is missing; the system's plain controls remain.
bool LoadCommonControls(unsigned long icc_classes);

}  // namespace platform::win32
