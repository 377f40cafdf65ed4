// Names for screen readers. A control that the model gives an accessible name
// gets it on its window through Active Accessibility's dynamic annotation
// (IAccPropServices::SetHwndPropStr, PROPID_ACC_NAME). COM and oleacc load when
// an accessibility client first asks such a control for its object
// (WM_GETOBJECT): a run without one loads neither.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct IAccPropServices;

namespace platform::win32 {

class Annotations {
 public:
  // `substitute`: a test's stand-in for the annotation service.
  explicit Annotations(void (*substitute)(void*, const wchar_t*)) : substitute_(substitute) {}
  ~Annotations();
  Annotations(const Annotations&) = delete;
  Annotations& operator=(const Annotations&) = delete;

  // Gives `window` the name a screen reader reads: annotated once, when a
  // client first asks for its object. A new name reaches a client that has
  // asked, with EVENT_OBJECT_NAMECHANGE, so that it reads the new one.
  void Name(HWND window, const std::string& name);
  // The window goes: its annotation, and our procedure before its own, go first.
  void Forget(HWND window);

 private:
  struct Named {
    HWND window;
    std::wstring name;
    // The control's own window procedure, while ours stands before it.
    WNDPROC own;
    // A client has asked, and the name is on the window.
    bool annotated = false;
  };
  struct Release {
    void operator()(IAccPropServices* services) const;
  };

  static LRESULT CALLBACK NamedControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  Named* Find(HWND window);
  // Puts the name on the window, or takes it off when empty.
  void Annotate(HWND window, const std::wstring& name);
  // The annotation service, made at the first client's question; null where it
  // cannot be had.
  IAccPropServices* Service();

  void (*substitute_)(void* window, const wchar_t* name);
  std::vector<Named> named_;
  std::unique_ptr<IAccPropServices, Release> service_;
  bool tried_ = false;
  // COM was initialised for this thread here, and is left at the end.
  void(WINAPI* uninitialize_)() = nullptr;
};

}  // namespace platform::win32
