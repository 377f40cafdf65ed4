#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "platform/win32/win32_platform.h"

namespace {

unsigned monitor_dpi = 96;

// Told the DPI of a 144 dpi monitor in a 96 dpi session as Windows reports it (Wine
// has one DPI for all), then 120 dpi while hidden: its size and centre follow.
TEST(BindingWin32Test, AWindowTakesTheSizeAndPlaceOfItsOwnDpi) {
  auto binding = platform::win32::MakeBinding([](void*) { return monitor_dpi; });
  ui::Application app(*binding);
  ui::Form form(app, "Panel", 9600, 2355);
  for (const int dpi : {144, 120}) {
    monitor_dpi = dpi;
    form.SetWindowState(ui::WindowState::Normal);
    form.Show();
    RECT client, outer;
    GetClientRect(static_cast<HWND>(form.NativeHandle()), &client);
    GetWindowRect(static_cast<HWND>(form.NativeHandle()), &outer);
    EXPECT_EQ(client.right, MulDiv(9600, dpi, 1440)) << dpi;
    EXPECT_EQ(client.bottom, MulDiv(2355, dpi, 1440)) << dpi;
    EXPECT_NEAR(outer.left + outer.right, GetSystemMetrics(SM_CXSCREEN), 1) << "centred";
    form.SetWindowState(ui::WindowState::Minimized);
    form.Hide();
  }
}

// Any failure inside a window procedure is told in a box and goes no further:
// unwinding through the system's frames would end the process on x64.
TEST(BindingWin32Test, AFailureInAnEventIsToldAndTheProgramGoesOn) {
  auto binding = platform::win32::MakeBinding();
  ui::Application app(*binding);
  ui::Form form(app, "Panel", 3000, 2000);
  form.Add<ui::PushButton>("Go", ui::Rect{120, 120, 1200, 375}, 0, "Go").OnClick = [] {
    throw std::runtime_error("The disk is gone.");
  };
  form.Show();
  HWND button = FindWindowExW(static_cast<HWND>(form.NativeHandle()), nullptr, L"Button", L"Go");
  ASSERT_TRUE(button);
  wchar_t told[128] = {};
  const DWORD thread = GetCurrentThreadId();
  std::thread answer([&] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i, Sleep(20)) {
      box = FindWindowW(L"#32770", L"Error");
      if (box && GetWindowThreadProcessId(box, nullptr) != thread) box = nullptr;
    }
    GetDlgItemTextW(box, 0xFFFF, told, 128);  // the box's message
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  SendMessageW(button, BM_CLICK, 0, 0);
  answer.join();
  EXPECT_STREQ(told, L"The disk is gone.");
  EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(form.NativeHandle())));
}

}  // namespace
