// Application identity, shared by the C++ code and the resource script.
#pragma once

#define APP_VERSION_MAJOR 1
#define APP_VERSION_MINOR 0
#define APP_TITLE "Dravelo_WEB_Monitor"
#define APP_EXE_NAME "Dravelo_WEB_MONITOR.exe"

#ifndef RC_INVOKED
namespace app {
inline constexpr int kVersionMajor = APP_VERSION_MAJOR;
inline constexpr int kVersionMinor = APP_VERSION_MINOR;
// Title of the version record and default caption of message boxes.
inline constexpr char kAppTitle[] = APP_TITLE;
// The name published as AppName, which the main window caption is built from.
inline constexpr char kAppName[] = "Dravelo_WEB_MONITOR";
}  // namespace app
#endif
