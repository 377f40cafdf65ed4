#include <windows.h>

#include <gtest/gtest.h>

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

}  // namespace
