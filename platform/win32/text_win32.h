// Strings are UTF-8 everywhere in the program; they turn into UTF-16 only at a
// Win32 call, through these two helpers.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's text for a GetLastError() code, without the trailing line break.
// Some texts name the file they are about by the insert "%1" ("%1 is not a valid
// Win32 application."): `insert` takes its place.
std::string SystemErrorText(unsigned long code, std::string_view insert = {});

}  // namespace platform::win32
