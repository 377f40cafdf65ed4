#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace {

unsigned monitor_dpi = 96;
bool high_contrast = false;

// The windows that WM_SYSCOLORCHANGE was sent to.
std::vector<HWND> told_colours;
LRESULT CALLBACK WatchColourChanges(int code, WPARAM wparam, LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && sent->message == WM_SYSCOLORCHANGE) told_colours.push_back(sent->hwnd);
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void Pump(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// Told the DPI of a 144 dpi monitor in a 96 dpi session as Windows reports it (Wine
// has one DPI for all), then 120 dpi while hidden: its size and centre follow. The
// monitor's taskbar, 40 px high at the top, is one Xvfb does not have: the window
// placement's workspace coordinates then put the window 40 px above the centre,
// where a desktop with that taskbar shows it centred.
TEST(BindingWin32Test, AWindowTakesTheSizeAndPlaceOfItsOwnDpi) {
  auto binding = platform::win32::MakeBinding({.window_dpi = [](void*) { return monitor_dpi; },
                                               .work_area_offset =
                                                   [](void*) {
                                                     return platform::win32::WorkAreaOffset{0, 40};
                                                   }});
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
    // Shown first, it is placed in screen coordinates; back from hidden, it comes
    // back to its placement.
    EXPECT_NEAR(outer.top + outer.bottom, GetSystemMetrics(SM_CYSCREEN) - (dpi == 120 ? 80 : 0), 1);
    form.SetWindowState(ui::WindowState::Minimised);
    form.Hide();
  }
}

// A label and the window's own background take the model's colours, and the
// system's while a high-contrast theme is on, whose text colour needs them. A
// change of the system's colours reaches every control.
TEST(BindingWin32Test, HighContrastPaintsInTheSystemsColours) {
  auto binding = platform::win32::MakeBinding({.high_contrast = [] { return high_contrast; }});
  ui::Application app(*binding);
  ui::Form form(app, "Panel", 3000, 2000);
  form.SetBackColor({240, 233, 208});
  form.Add<ui::Label>("Name", ui::Rect{120, 120, 2400, 375}, 0, "x").SetBackColor({252, 245, 230});
  form.Add<ui::CheckBox>("Box", ui::Rect{120, 600, 2400, 375}, 1, "y");
  form.Show();
  HWND window = static_cast<HWND>(form.NativeHandle());
  HWND label = FindWindowExW(window, nullptr, L"Static", L"x");
  ASSERT_TRUE(label);
  const auto pixels = [&] {
    Pump(window);
    HDC form_dc = GetDC(window), label_dc = GetDC(label);
    const std::pair colours{GetPixel(form_dc, 190, 120), GetPixel(label_dc, 150, 12)};
    ReleaseDC(window, form_dc);
    ReleaseDC(label, label_dc);
    return colours;
  };
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  struct Step {
    bool on;
    UINT message;
    std::pair<COLORREF, COLORREF> want;
  };
  for (const Step& s : {Step{true, WM_SETTINGCHANGE, {face, face}},
                        Step{false, WM_SYSCOLORCHANGE, {RGB(240, 233, 208), RGB(252, 245, 230)}}}) {
    EXPECT_NE(pixels(), s.want) << "before the change";
    high_contrast = s.on;
    SendMessageW(window, s.message, s.message == WM_SETTINGCHANGE ? SPI_SETHIGHCONTRAST : 0, 0);
    EXPECT_EQ(pixels(), s.want) << "high contrast " << s.on;
  }
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchColourChanges, nullptr, GetCurrentThreadId());
  SendMessageW(window, WM_SYSCOLORCHANGE, 0, 0);
  UnhookWindowsHookEx(hook);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    EXPECT_EQ(std::count(told_colours.begin(), told_colours.end(), child), 1);
}

// ShowWindow as Windows does it for a program started by a shortcut set to
// "Maximized": the first call that shows a window normally takes that state
// (Wine ignores it). Notes whether the window was ever seen maximised.
int launcher_show = SW_SHOWMAXIMIZED;
bool launcher_used = false;
bool seen_maximised = false;
bool ShowAsWindowsDoes(void* window, int command) {
  auto* w = static_cast<HWND>(window);
  const auto seen = [w] {
    return IsWindowVisible(w) && IsZoomed(w) &&
           !(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_LAYERED);
  };
  if (!launcher_used &&
      (command == SW_SHOWDEFAULT || command == SW_SHOWNORMAL || command == SW_SHOW))
    launcher_used = true, command = launcher_show;
  seen_maximised |= seen();
  const bool was_visible = ShowWindow(w, command);
  seen_maximised |= seen();
  return was_visible;
}

// Started maximised, the panel shows at its own size, also when it starts
// minimised by its own setting and is then restored from the notification area.
TEST(BindingWin32Test, ALaunchMaximisedNeverShowsThePanelMaximised) {
  for (const bool minimised : {false, true}) {
    SCOPED_TRACE(minimised ? "started minimised" : "started normal");
    launcher_used = seen_maximised = false;
    auto binding = platform::win32::MakeBinding(
        {.launcher_show_state = [] { return launcher_show; }, .show_window = ShowAsWindowsDoes});
    ui::Application app(*binding);
    ui::Form form(app, "Panel", 9600, 2355);
    form.SetWindowState(minimised ? ui::WindowState::Minimised : ui::WindowState::Normal);
    form.Show();
    if (minimised) {  // hidden into the notification area, then restored from it
      form.Hide();
      form.SetWindowState(ui::WindowState::Normal);
      form.Show();
    }
    auto* window = static_cast<HWND>(form.NativeHandle());
    EXPECT_TRUE(launcher_used);
    EXPECT_FALSE(seen_maximised);
    EXPECT_TRUE(IsWindowVisible(window) && !IsZoomed(window) && !IsIconic(window));
    RECT client;
    GetClientRect(window, &client);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(client.bottom, MulDiv(2355, GetDeviceCaps(screen, LOGPIXELSY), 1440)) << "its size";
    ReleaseDC(nullptr, screen);
  }
}

// The names put on windows for screen readers, by the annotation service that
// Wine has as a stub, and the windows whose name changed, as a reader hears it.
std::vector<std::pair<HWND, std::wstring>> annotated;
std::vector<HWND> renamed;
void CALLBACK WatchNameChanges(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                               DWORD) {
  if (object == OBJID_CLIENT && child == CHILDID_SELF) renamed.push_back(window);
}

// A list without a caption is named once, at a screen reader's first question,
// and a new name (another language) is announced to the reader.
TEST(BindingWin32Test, ScreenReadersHearTheListsNameAndItsChange) {
  auto binding = platform::win32::MakeBinding({.annotate_name = [](void* w, const wchar_t* name) {
    annotated.emplace_back(static_cast<HWND>(w), name);
  }});
  ui::Application app(*binding);
  ui::Form form(app, "Panel", 3000, 2000);
  auto& list = form.Add<ui::DropDownList>("Language", ui::Rect{120, 120, 1695, 315}, 0);
  list.SetAccessibleName("Language");
  form.Show();
  HWND window =
      FindWindowExW(static_cast<HWND>(form.NativeHandle()), nullptr, L"ComboBox", nullptr);
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, WatchNameChanges,
                      GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  EXPECT_TRUE(annotated.empty()) << "named before a reader asked";
  for (int question = 0; question < 3; ++question)
    SendMessageW(window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  list.SetAccessibleName("Sprache");
  list.SetAccessibleName("Sprache");
  SendMessageW(window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  Pump(window);
  UnhookWinEvent(hook);
  EXPECT_EQ(annotated, (std::vector<std::pair<HWND, std::wstring>>{{window, L"Language"},
                                                                   {window, L"Sprache"}}));
  EXPECT_EQ(renamed, std::vector<HWND>{window});
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
