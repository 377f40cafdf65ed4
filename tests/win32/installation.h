// The real program in a throwaway installation folder, with the stand-in
// server, driven from outside through its real controls as a user would.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

inline constexpr char kDefaults[] = " 1 \r\n 0 \r\n 0 \r\n 80 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";

// Waits are upper bounds, generous for emulated 32-bit Wine on a loaded machine.
inline constexpr int kPatienceMs = 30000;
bool WaitFor(const std::function<bool()>& condition, int ms = kPatienceMs);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
int FreePort();
// The whole response to "GET /", or empty when nothing answers.
std::string HttpGet(int port);
// The stand-in servers whose parent is `parent`.
std::vector<DWORD> ChildrenOf(DWORD parent);
bool Alive(DWORD pid);
// Another process's control answers WM_GETTEXT; GetWindowText would not ask it.
std::wstring Text(HWND window);
// Settings bytes in the file's layout.
std::string SettingsBytes(int language, int minimised, int automatic, int port);

// A message box of another process: its text, and its OK button.
struct ShownBox {
  HWND window = nullptr;
  std::wstring text;
  void Dismiss() const;
};

class Installation : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program in the installation folder and waits for its window.
  void Launch(bool expect_visible = true, int show = -1);  // show: the launcher's SW_ state
  bool Exited(int ms = kPatienceMs);
  HWND Child(const wchar_t* cls, const wchar_t* text);
  bool Running();
  bool Stopped();
  void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
  // The one server the program runs now, remembered for the clean-up.
  DWORD ServerPid();
  // Starts the program with settings that start the server on `port` by itself,
  // and waits for it to run; the server's identifier, or 0.
  DWORD LaunchServing(int port);
  // Picks an entry of the language list as the user would.
  void ChooseLanguage(int index);
  // Waits for a message box of the program.
  ShownBox WaitForMessageBox(int ms = kPatienceMs);
  // The program's icon: under Wine a window of its stand-alone tray, which takes
  // clicks; on Windows the shell answers for it, and its message is sent as the shell does.
  bool IconShown();
  void ClickIcon();
  fs::path SettingsPath() const { return dir_ / "Dravelo_WEB_MONITOR.CFG"; }

  static inline int counter_ = 0;
  fs::path dir_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  std::vector<DWORD> servers_seen_;
};

}  // namespace e2e
