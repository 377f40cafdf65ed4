// Small queries about the system the program runs on.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The system's default language identifier (GetSystemDefaultLangID on Windows).
uint16_t SystemDefaultLangId();

// Converts UTF-8 to the system's ANSI code page; characters it lacks become '?'.
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace platform
