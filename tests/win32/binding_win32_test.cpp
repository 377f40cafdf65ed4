// The Windows binding in this process, told the DPI of a monitor whose scale is
// not the system's, as Windows reports it for a window there (Wine has one DPI
// for every monitor).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"

namespace {

unsigned monitor_dpi = 96;
unsigned MonitorDpi(void*) { return monitor_dpi; }

TEST(BindingWin32Test, AWindowTakesTheSizeAndPlaceOfItsOwnDpi) {
  auto binding = platform::win32::MakeBinding(MonitorDpi);
  ui::Application app(*binding);
  ui::Form form(app, "Panel", 9600, 2355);
  form.Add<ui::PushButton>("Quit", ui::Rect{8280, 1920, 1215, 315}, 0, "Quit");
  const auto check = [&](int dpi) {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    HWND window = static_cast<HWND>(form.NativeHandle());
    RECT client, outer, quit;
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.right, MulDiv(9600, dpi, 1440));
    EXPECT_EQ(client.bottom, MulDiv(2355, dpi, 1440));
    EXPECT_NEAR(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2, 1);
    EXPECT_NEAR(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2, 1);
    GetWindowRect(FindWindowExW(window, nullptr, L"Button", L"Quit"), &quit);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&quit), 2);
    EXPECT_EQ(quit.right, MulDiv(8280 + 1215, dpi, 1440)) << "the controls follow the DPI";
  };
  HDC screen = GetDC(nullptr);
  const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  // Made on a monitor at one and a half times the system's scale.
  monitor_dpi = system_dpi * 3 / 2;
  form.Show();
  check(static_cast<int>(monitor_dpi));
  // Back at the system's scale while it was hidden.
  form.SetWindowState(ui::WindowState::Minimized);
  form.Hide();
  monitor_dpi = system_dpi;
  form.SetWindowState(ui::WindowState::Normal);
  form.Show();
  check(system_dpi);
  form.Unload();
}

}  // namespace
