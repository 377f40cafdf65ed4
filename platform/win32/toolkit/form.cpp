// The form as a top-level window: its class, its window made when first needed,
// the model's changes pushed into it, and its window procedure with one small
// handler per message.
#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <utility>

#include "platform/declarations.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

namespace {

// WM_GETDPISCALEDSIZE of Windows 10 (1703 and later), newer than the headers' target.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// The show state the launcher asked for (a shortcut's "Run: Minimized", a
// script's hidden start), if it asked for one.
std::optional<WORD> LauncherShowState() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) return std::nullopt;
  return startup.wShowWindow;
}

bool IsMinimisedShow(WORD show) {
  return show == SW_SHOWMINIMIZED || show == SW_MINIMIZE || show == SW_SHOWMINNOACTIVE ||
         show == SW_FORCEMINIMIZE;
}

}  // namespace

Win32Binding::Win32Binding(const SystemQueries& queries)
    : instance_(GetModuleHandleW(nullptr)), queries_(queries) {
  dpi_api_.substitute = queries.window_dpi;
  high_contrast_ = HighContrast();
  LoadCommonControls(ICC_STANDARD_CLASSES);
  system_dpi_ = GetDeviceCaps(UniqueWindowDc(nullptr).Get(), LOGPIXELSY);
  if (system_dpi_ <= 0) system_dpi_ = kDefaultDpi;
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");

  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = FormProc;
  form_class.hInstance = instance_;
  form_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kFormClass;
  RegisterClassExW(&form_class);

  RegisterWindowClass(instance_, kEventsClass, nullptr);
  // A message-only window: timers and posted tasks also run inside message boxes' loops.
  Create(0, kEventsClass, L"", 0, {}, HWND_MESSAGE, instance_);
}

Win32Binding::~Win32Binding() { Destroy(); }

LRESULT Win32Binding::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    if (ui::Timer* timer = timers_.Find(wparam)) Dispatch([timer] { timer->Elapsed(); });
    return 0;
  }
  if (message == TaskQueue::kRunPostedTasks) {
    while (std::function<void()> task = tasks_.Next()) Dispatch(task);
    return 0;
  }
  return DefWindowProcW(Handle(), message, wparam, lparam);
}

// A loaded form gets its native window when the model asks for it, at its
// display or before. One that is never shown (the start-up window) costs no
// windows. Its controls' windows come with its first display, made once as the
// model has them then, not made and then changed.
void Win32Binding::Load(ui::Form& form) {
  auto* peer = new FormPeer;
  peer->form = &form;
  peer->dpi = system_dpi_;
  form.native = peer;
}

FormPeer& Win32Binding::EnsureWindow(const ui::Form& form) {
  FormPeer* peer = PeerOf(form);
  if (peer->window) return *peer;
  peer->font.Reset(dpi_api_.MessageFont(peer->dpi, system_dpi_));
  ui::Form& model = *peer->form;
  const SIZE size = OuterSizePx(model, peer->dpi);
  const POINT at = Centred(size);
  CreateWindowExW(kFormExStyle, kFormClass, Widen(model.Caption()).c_str(), kFormStyle, at.x, at.y,
                  size.cx, size.cy, nullptr, nullptr, instance_, peer);
  if (!peer->window) throw ui::ToolkitError(7, "Out of memory");
  model.UserMoved(ToTwips(peer->dpi, at.x), ToTwips(peer->dpi, at.y));
  // Run elevated, the program would not hear a non-elevated Explorer's restart.
  if (taskbar_created_)
    ChangeWindowMessageFilterEx(peer->window, taskbar_created_, MSGFLT_ALLOW, nullptr);
  if (model.BackColor()) peer->brush.Reset(CreateSolidBrush(ToColorRef(*model.BackColor())));
  Update(model, ui::FormChange::Icon);
  return *peer;
}

void Win32Binding::Unload(ui::Form& form) {
  FormPeer* peer = PeerOf(form);
  if (!peer) return;
  for (auto& control : form.Controls()) {
    ControlPeer* control_peer = PeerOf(*control);
    // The window may outlive the model's control for a moment.
    if (control_peer && control_peer->window)
      SetWindowLongPtrW(control_peer->window, GWLP_USERDATA, 0);
    delete control_peer;
    control->native = nullptr;
  }
  form.native = nullptr;
  HWND window = peer->window;
  peer->form = nullptr;
  timers_.Forget(form);
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  delete peer;
}

void Win32Binding::Update(ui::Form& form, ui::FormChange change) {
  FormPeer* peer = PeerOf(form);
  if (!peer || !peer->window) return;
  // The window may be on a monitor of another DPI, or it changed while hidden.
  if (change == ui::FormChange::Visible && form.Visible()) FollowWindowDpi(*peer);
  ModelPushGuard pushing(*peer);
  switch (change) {
    case ui::FormChange::Caption:
      SetWindowTextW(peer->window, Widen(form.Caption()).c_str());
      break;
    case ui::FormChange::Icon:
      SetWindowIcons(*peer);
      break;
    case ui::FormChange::Visible:
      if (!form.Visible()) {
        ShowWindow(peer->window, SW_HIDE);
      } else if (form.State() == ui::WindowState::Minimized) {
        ShowMinimised(*peer);
      } else {
        ShowNormal(*peer);
      }
      break;
    case ui::FormChange::WindowState: {
      // A hidden window takes its state when it is shown.
      if (!IsWindowVisible(peer->window)) break;
      const bool minimised = form.State() == ui::WindowState::Minimized;
      if (minimised != (IsIconic(peer->window) != FALSE))
        ShowWindow(peer->window, minimised ? SW_MINIMIZE : SW_RESTORE);
      break;
    }
    case ui::FormChange::Position:
      SetWindowPos(peer->window, nullptr, ToPixels(peer->dpi, form.Left()),
                   ToPixels(peer->dpi, form.Top()), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case ui::FormChange::BackColor:
      peer->brush.Reset(form.BackColor() ? CreateSolidBrush(ToColorRef(*form.BackColor()))
                                         : nullptr);
      InvalidateRect(peer->window, nullptr, TRUE);
      break;
  }
}

// Windows applies the launcher's show state once: to the first ShowWindow with
// SW_SHOWDEFAULT, SW_SHOWNORMAL or SW_SHOW on an unowned window with a caption.
// Left unused, it goes to the first message box, which then opens minimised or
// hidden (a task-modal one hidden strands the user). So the first display uses
// it up, then brings the panel into the state the program wants.
std::optional<WORD> Win32Binding::TakeLauncherShowState() {
  if (std::exchange(launch_show_state_used_, true)) return std::nullopt;
  return LauncherShowState();
}

void Win32Binding::ShowMinimised(FormPeer& peer) {
  HWND window = peer.window;
  if (TakeLauncherShowState()) {
    // Out of sight: the launcher's state may be a normal window.
    const LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, 0, LWA_ALPHA);
    ShowWindow(window, SW_SHOWDEFAULT);
    ShowWindow(window, SW_SHOWMINNOACTIVE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style);
    return;
  }
  ShowWindow(window, SW_SHOWMINNOACTIVE);
}

// Shown as the launcher asks at the first display (where the system does not
// apply it, as Wine, a launch minimised is applied here); the model follows
// what the window then is.
void Win32Binding::ShowNormal(FormPeer& peer) {
  HWND window = peer.window;
  if (const std::optional<WORD> launch = TakeLauncherShowState()) {
    ShowWindow(window, SW_SHOWDEFAULT);
    if (IsMinimisedShow(*launch) && !IsIconic(window)) ShowWindow(window, SW_SHOWMINNOACTIVE);
  } else {
    ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOWNORMAL);
  }
  // The panel has a fixed size, so a launch maximised shows it normally, and one
  // hidden shows it.
  if (IsZoomed(window) || !IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
  if (!IsIconic(window)) {
    FitClientArea(peer);
    SetForegroundWindow(window);
    return;
  }
  // Launched minimised: into the notification area, as the user's minimising does.
  Post([window] {
    auto* shown = IsWindow(window)
                      ? reinterpret_cast<FormPeer*>(GetWindowLongPtrW(window, GWLP_USERDATA))
                      : nullptr;
    ui::Form* form = shown ? shown->form : nullptr;
    if (form && form->Visible() && IsIconic(window))
      form->UserChangedState(ui::WindowState::Minimized);
  });
}

void Win32Binding::ShowMessage(const ui::Form* owner, const std::string& text,
                               const std::string& caption, ui::MessageIcon icon) {
  events_.ShowMessage(owner && PeerOf(*owner) ? PeerOf(*owner)->window : nullptr, text, caption,
                      icon);
}

void Win32Binding::Repaint(ui::Form& form) {
  if (FormPeer* peer = PeerOf(form); peer && peer->window)
    RedrawWindow(peer->window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int Win32Binding::OuterWidth(const ui::Form& form) {
  if (FormPeer* peer = PeerOf(form); peer && peer->window) {
    RECT r;
    GetWindowRect(peer->window, &r);
    return ToTwips(peer->dpi, r.right - r.left);
  }
  return ToTwips(system_dpi_, OuterSizePx(form, system_dpi_).cx);
}

int Win32Binding::OuterHeight(const ui::Form& form) {
  if (FormPeer* peer = PeerOf(form); peer && peer->window) {
    RECT r;
    GetWindowRect(peer->window, &r);
    return ToTwips(peer->dpi, r.bottom - r.top);
  }
  return ToTwips(system_dpi_, OuterSizePx(form, system_dpi_).cy);
}

// --- The window procedure ---

LRESULT CALLBACK Win32Binding::FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* peer = static_cast<FormPeer*>(create->lpCreateParams);
    peer->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
    // Marks our forms for the dialog-key handling of the message loop.
    SetPropW(window, kDialogKeysProp, reinterpret_cast<HANDLE>(1));
  }
  if (message == WM_NCDESTROY) RemovePropW(window, kDialogKeysProp);
  auto* peer = reinterpret_cast<FormPeer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (peer && peer->form) {
    auto& self = static_cast<Win32Binding&>(peer->form->App().Platform());
    try {
      return self.OnFormMessage(*peer, message, wparam, lparam);
    } catch (...) {
      self.events_.ReportFailure();
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Binding::OnFormMessage(FormPeer& peer, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = peer.window;
  switch (message) {
    case WM_COMMAND:
      if (lparam) OnCommand(peer, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_SIZE:
      OnSize(peer, wparam);
      return 0;
    case WM_MOVE:
      OnMove(peer);
      return 0;
    case WM_ACTIVATE:
      OnActivate(peer, wparam);
      return 0;
    case WM_SETFOCUS:
      if (!IsIconic(peer.window)) RestoreFocus(peer);
      return 0;
    case WM_SETTINGCHANGE:
      // The system's message font or text size changed: the controls get it anew.
      if (wparam == SPI_SETNONCLIENTMETRICS) ApplyDpi(peer, peer.dpi);
      if (wparam == SPI_SETHIGHCONTRAST) OnSystemColours(peer);
      break;
    case WM_SYSCOLORCHANGE:
      OnSystemColours(peer);
      break;
    case WM_CLOSE: {
      ui::Form* form = peer.form;
      Dispatch([form] { form->UserClosed(); });
      return 0;
    }
    case WM_QUERYENDSESSION:
      // Yes, also to the Restart Manager (ENDSESSION_CLOSEAPP): we close without asking.
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns, hidden or not.
      if (wparam) OnEndSession(peer);
      return 0;
    case kGetDpiScaledSize: {
      // The exact size for the new DPI, which the system then suggests in WM_DPICHANGED.
      *reinterpret_cast<SIZE*>(lparam) = OuterSizePx(*peer.form, static_cast<int>(wparam));
      return TRUE;
    }
    case WM_DPICHANGED:
      OnDpiChanged(peer, HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_ERASEBKGND:
      if (OnEraseBackground(peer, reinterpret_cast<HDC>(wparam))) return 1;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (LRESULT brush =
              OnControlColor(peer, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)))
        return brush;
      break;
    default:
      if (message == kTrayCallbackMessage) {
        ui::Form* form = peer.form;
        const int code = static_cast<int>(LOWORD(lparam));
        Dispatch([form, code] {
          if (form->OnNotifyIcon) form->OnNotifyIcon(code);
        });
        return 0;
      }
      if (message == taskbar_created_ && taskbar_created_ != 0) {
        ui::Form* form = peer.form;
        Dispatch([form] {
          if (form->OnNotifyAreaCreated) form->OnNotifyAreaCreated();
        });
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Binding::OnSize(FormPeer& peer, WPARAM kind) {
  if (peer.pushing) return;
  ui::Form* form = peer.form;
  if (kind == SIZE_MINIMIZED)
    Dispatch([form] { form->UserChangedState(ui::WindowState::Minimized); });
  else if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
    Dispatch([form] { form->UserChangedState(ui::WindowState::Normal); });
}

void Win32Binding::OnMove(FormPeer& peer) {
  if (IsIconic(peer.window)) return;
  RECT r;
  GetWindowRect(peer.window, &r);
  peer.form->UserMoved(ToTwips(peer.dpi, r.left), ToTwips(peer.dpi, r.top));
}

void Win32Binding::OnEndSession(FormPeer& peer) {
  ui::Form* form = peer.form;  // the peer may be gone after the event
  Dispatch([form] { form->UserEndedSession(); });
  // A box still open (one without an owner outlives the window) must not keep
  // the process from ending when the Restart Manager waits for it.
  for (HWND box : EventLoop::MessageBoxesOfThisThread()) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// The frame itself never keeps the focus: the control that had it gets it back,
// the first time the first tab stop.
void Win32Binding::OnActivate(FormPeer& peer, WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(peer.window, focus)) peer.focus = focus;
  } else if (!HIWORD(wparam)) {  // not while minimised
    RestoreFocus(peer);
  }
}

void Win32Binding::RestoreFocus(FormPeer& peer) {
  HWND focus = peer.focus;
  if (!focus || !IsChild(peer.window, focus) || !IsWindowEnabled(focus) || !IsWindowVisible(focus))
    focus = GetNextDlgTabItem(peer.window, focus && IsChild(peer.window, focus) ? focus : nullptr,
                              FALSE);
  if (focus) SetFocus(focus);
}

std::unique_ptr<ui::Binding> MakeBinding(const SystemQueries& queries) {
  return std::make_unique<Win32Binding>(queries);
}

}  // namespace platform::win32
