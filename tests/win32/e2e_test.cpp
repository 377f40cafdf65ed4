// A user's session with the real program: first start, Start and Stop, a kill
// from outside, the options, the notification area and a restart.
#include "win32/installation.h"

#include <shellapi.h>

namespace e2e {
namespace {

TEST_F(Installation, FirstStartAndCloseLeavesTheDefaultSettings) {
  Launch();
  ASSERT_TRUE(fs::exists(SettingsPath())) << "loading creates the file";
  PostMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Exited()) << "closing the window ends the program";
  EXPECT_EQ(ReadFile(SettingsPath()), kDefaults);
}

TEST_F(Installation, AUserRunsStopsAndConfiguresTheServer) {
  Launch();
  const int port = FreePort();
  HWND edit = Child(L"Edit", nullptr);
  ASSERT_TRUE(edit);
  EXPECT_EQ(Text(edit), L"80");
  EXPECT_GT(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 32767)
      << "the port field has a length limit";
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::to_wstring(port).c_str()));

  // Start: within a tick the panel shows Running, and the page is served.
  Click(Child(L"Button", L"Start"));
  ASSERT_TRUE(WaitFor([&] { return Running(); })) << "Start did not lead to Running";
  std::string page;
  EXPECT_TRUE(WaitFor([&] { return (page = HttpGet(port)).find("e2e page") != std::string::npos; }))
      << page;

  // Killed from outside: the panel follows at the next tick. Past its first 2 s, when an
  // end is taken for a failed start and reported.
  const DWORD server = ServerPid();
  ASSERT_NE(server, 0u);
  Sleep(2100);
  HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, server);
  TerminateProcess(h, 9);
  CloseHandle(h);
  EXPECT_TRUE(WaitFor([&] { return Stopped(); })) << "the panel did not notice the kill";

  // Start again, then Stop.
  Click(Child(L"Button", L"Start"));
  ASSERT_TRUE(WaitFor([&] { return Running(); }));
  const DWORD second = ServerPid();
  Click(Child(L"Button", L"Stop"));
  EXPECT_TRUE(WaitFor([&] { return Stopped(); }));
  EXPECT_TRUE(WaitFor([&] { return !Alive(second); }));

  // Deutsch, and both options ticked.
  ChooseLanguage(1);
  EXPECT_TRUE(Child(L"Button", L"Ende"));
  EXPECT_TRUE(Child(L"Static", L"TCP-Port vom Webserver"));
  HWND minimised = Child(L"Button", L"Programm minimiert starten");
  HWND automatic = Child(L"Button", L"Webserver automatisch starten");
  ASSERT_TRUE(minimised && automatic);
  SendMessageW(minimised, BM_CLICK, 0, 0);
  SendMessageW(automatic, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(minimised, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(automatic, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(WaitFor([&] { return !Stopped() || !ChildrenOf(pid_).empty(); }, 1500))
      << "ticking automatic start launches nothing, also at the next ticks";

  // Minimise into the notification area, then click the icon.
  SendMessageW(main_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); })) << "minimising hides the window";
  ASSERT_TRUE(WaitFor([&] { return IconShown(); })) << "no icon in the notification area";
  ClickIcon();
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main_) && !IsIconic(main_); }))
      << "a click on the icon did not bring the window back";
  RECT r;
  GetWindowRect(main_, &r);
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);

  // Quit.
  Click(Child(L"Button", L"Ende"));
  ASSERT_TRUE(Exited());
  EXPECT_EQ(ReadFile(SettingsPath()), SettingsBytes(2, 1, 1, port));
  for (DWORD pid : servers_seen_) EXPECT_FALSE(Alive(pid)) << "server " << pid << " left running";

  // The next start comes up hidden, in German, and starts the server by itself.
  Launch(false);
  // The caption comes before the language: wait for the German one.
  EXPECT_TRUE(WaitFor([&] { return Child(L"Button", L"Ende") != nullptr; }));
  EXPECT_TRUE(WaitFor([&] { return Running(); }, 20000)) << "automatic start did not happen";
  // Read once start-up is over: its first display shows the minimised window for
  // the moment until the resize event hides it.
  EXPECT_FALSE(IsWindowVisible(main_));
  const DWORD automatic_server = ServerPid();
  EXPECT_TRUE(WaitFor([&] { return HttpGet(port).find("e2e page") != std::string::npos; }));
  // Enter on the icon, as the shell tells it (Wine's tray has no keyboard): the
  // panel comes back centred and the icon goes.
  ASSERT_TRUE(WaitFor([&] { return IconShown(); }));
  PostMessageW(main_, WM_APP + 1, 1, NIN_KEYSELECT);
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main_) && !IsIconic(main_); }));
  GetWindowRect(main_, &r);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
  EXPECT_TRUE(WaitFor([&] { return !IconShown(); })) << "the icon stayed";
  PostMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Exited());
  EXPECT_TRUE(WaitFor([&] { return !Alive(automatic_server); })) << "server left after close";
}

}  // namespace
}  // namespace e2e
