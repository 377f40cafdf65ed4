#include "platform/win32/toolkit/accessibility.h"

#include <initguid.h>

#include <oleacc.h>

#include <algorithm>
#include <utility>

#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"

namespace platform::win32 {

namespace {

// The service whose procedure stands before a named control's own.
constexpr wchar_t kAnnotationsProp[] = L"DraveloWebMonitorAnnotations";

}  // namespace

void Annotations::Release::operator()(IAccPropServices* services) const { services->Release(); }

Annotations::~Annotations() {
  service_.reset();
  if (uninitialize_) uninitialize_();
}

Annotations::Named* Annotations::Find(HWND window) {
  const auto found = std::find_if(named_.begin(), named_.end(),
                                  [window](const Named& n) { return n.window == window; });
  return found == named_.end() ? nullptr : &*found;
}

void Annotations::Name(HWND window, const std::string& name) {
  const std::wstring wide = Widen(name);
  Named* named = Find(window);
  if (!named) {
    if (wide.empty()) return;
    SetPropW(window, kAnnotationsProp, this);
    named_.push_back({window, wide,
                      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                          window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NamedControlProc)))});
    return;
  }
  if (named->name == wide) return;
  named->name = wide;
  if (named->annotated) Annotate(window, wide);
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

void Annotations::Forget(HWND window) {
  Named* named = Find(window);
  if (!named) return;
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(NamedControlProc))
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(named->own));
  RemovePropW(window, kAnnotationsProp);
  if (named->annotated) Annotate(window, {});
  named_.erase(named_.begin() + (named - named_.data()));
}

LRESULT CALLBACK Annotations::NamedControlProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  auto* self = static_cast<Annotations*>(GetPropW(window, kAnnotationsProp));
  Named* named = self ? self->Find(window) : nullptr;
  if (!named) return DefWindowProcW(window, message, wparam, lparam);
  const WNDPROC own = named->own;
  if (message == WM_GETOBJECT && !named->annotated) {
    named->annotated = true;
    try {
      self->Annotate(window, named->name);
    } catch (...) {
      // Without a name the client reads the control as the system names it.
    }
  } else if (message == WM_NCDESTROY) {
    self->Forget(window);
  }
  return CallWindowProcW(own, window, message, wparam, lparam);
}

void Annotations::Annotate(HWND window, const std::wstring& name) {
  if (substitute_) return substitute_(window, name.c_str());
  IAccPropServices* services = Service();
  if (!services) return;
  if (name.empty()) {
    services->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             &PROPID_ACC_NAME, 1);
    return;
  }
  services->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                           name.c_str());
}

IAccPropServices* Annotations::Service() {
  if (std::exchange(tried_, true)) return service_.get();
  void* ole32 = LoadSystemLibrary(L"ole32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
  HRESULT(WINAPI * initialize)(void*, DWORD) = nullptr;
  HRESULT(WINAPI * create)(REFCLSID, IUnknown*, DWORD, REFIID, void**) = nullptr;
  void(WINAPI * uninitialize)() = nullptr;
  if (!BindLate(ole32, "CoInitializeEx", initialize) ||
      !BindLate(ole32, "CoCreateInstance", create) ||
      !BindLate(ole32, "CoUninitialize", uninitialize))
    return nullptr;
  // Already on for this thread (S_FALSE) counts too; another apartment does not.
  if (SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED))) uninitialize_ = uninitialize;
  void* made = nullptr;
  if (SUCCEEDED(create(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                       &made)))
    service_.reset(static_cast<IAccPropServices*>(made));
  return service_.get();
}

}  // namespace platform::win32
