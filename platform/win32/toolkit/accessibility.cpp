// Names for screen readers. A control that the model gives an accessible name
// gets it on its window through Active Accessibility's dynamic annotation
// (IAccPropServices::SetHwndPropStr, PROPID_ACC_NAME). COM and oleacc load when
// an accessibility client first asks such a control for its object
// (WM_GETOBJECT): a run without one loads neither.
#include <windows.h>

#include <initguid.h>

#include <oleacc.h>

#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

namespace {

// The control's own window procedure, while ours stands before it.
constexpr wchar_t kOwnProc[] = L"DraveloWebMonitorOwnProc";

// The annotation service, made at the first client's question and kept until
// the process ends; null where it cannot be had.
IAccPropServices* Annotations(bool load) {
  static IAccPropServices* services = nullptr;
  static bool tried = false;
  if (tried || !load) return services;
  tried = true;
  void* ole32 = LoadSystemLibrary(L"ole32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
  HRESULT(WINAPI * initialize)(void*, DWORD) = nullptr;
  HRESULT(WINAPI * create)(REFCLSID, IUnknown*, DWORD, REFIID, void**) = nullptr;
  if (!BindLate(ole32, "CoInitializeEx", initialize) ||
      !BindLate(ole32, "CoCreateInstance", create))
    return nullptr;
  // Already on for this thread (S_FALSE, or another apartment) is as good.
  initialize(nullptr, COINIT_APARTMENTTHREADED);
  void* made = nullptr;
  if (SUCCEEDED(create(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                       &made)))
    services = static_cast<IAccPropServices*>(made);
  return services;
}

void Annotate(IAccPropServices* services, HWND window, const std::string& name) {
  if (!services) return;
  if (name.empty()) {
    services->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             &PROPID_ACC_NAME, 1);
    return;
  }
  services->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                           Widen(name).c_str());
}

// Stands before the window procedure of a named control. Its user data is the
// model's control, until the form is unloaded.
LRESULT CALLBACK NamedControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto own = reinterpret_cast<WNDPROC>(GetPropW(window, kOwnProc));
  if (message == WM_GETOBJECT) {
    if (auto* control = reinterpret_cast<ui::Control*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
      try {
        Annotate(Annotations(true), window, control->AccessibleName());
      } catch (...) {
        // Without a name the client reads the control as the system names it.
      }
    }
  } else if (message == WM_NCDESTROY) {
    Annotate(Annotations(false), window, {});
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
    RemovePropW(window, kOwnProc);
  }
  return CallWindowProcW(own, window, message, wparam, lparam);
}

}  // namespace

void Win32Binding::NameForScreenReaders(ui::Control& control) {
  HWND window = PeerOf(control)->window;
  if (!GetPropW(window, kOwnProc)) {
    if (control.AccessibleName().empty()) return;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
    SetPropW(window, kOwnProc,
             reinterpret_cast<HANDLE>(SetWindowLongPtrW(
                 window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NamedControlProc))));
  }
  // A client that has asked already hears the new name.
  Annotate(Annotations(false), window, control.AccessibleName());
}

}  // namespace platform::win32
