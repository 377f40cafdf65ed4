// The binding's services, which its windows share.
#pragma once

#include <windows.h>

#include "platform/win32/toolkit/accessibility.h"
#include "platform/win32/toolkit/art.h"
#include "platform/win32/toolkit/colours.h"
#include "platform/win32/toolkit/dpi.h"
#include "platform/win32/toolkit/event_loop.h"
#include "platform/win32/toolkit/native_window.h"
#include "platform/win32/toolkit/show_state.h"
#include "platform/win32/toolkit/tasks.h"
#include "platform/win32/toolkit/timers.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

struct BindingServices {
  // `events_window` receives the timers and the posted tasks.
  BindingServices(const SystemQueries& system, const NativeWindow& events_window)
      : queries(system),
        dpi(system.window_dpi),
        colours(system.high_contrast),
        art(instance, dpi),
        annotations(system.annotate_name),
        launcher(system),
        timers(events_window),
        tasks(events_window),
        events(timers) {}

  HINSTANCE instance = GetModuleHandleW(nullptr);
  SystemQueries queries;
  DpiApi dpi;
  Colours colours;
  ArtLibrary art;
  Annotations annotations;
  LauncherShowState launcher;
  TimerService timers;
  TaskQueue tasks;
  EventLoop events;
  // Explorer's message when the notification area is made anew.
  UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
};

}  // namespace platform::win32
