#include "platform/win32/toolkit/form_window.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/declarations.h"
#include "platform/win32/text_win32.h"

namespace platform::win32 {

namespace {

// WM_GETDPISCALEDSIZE of Windows 10 (1703 and later), newer than the headers' target.
constexpr UINT kGetDpiScaledSize = 0x02E4;

bool IsMinimisedShow(int show) {
  return show == SW_SHOWMINIMIZED || show == SW_MINIMIZE || show == SW_SHOWMINNOACTIVE ||
         show == SW_FORCEMINIMIZE;
}

}  // namespace

void FormWindow::Register(HINSTANCE instance) {
  RegisterWindowClass(instance, kFormClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

FormWindow* FormWindow::From(HWND window) {
  return dynamic_cast<FormWindow*>(NativeWindow::From(window));
}

FormWindow::FormWindow(BindingServices& services, ui::Form& form)
    : services_(services), form_(form), layout_(*this), brush_(Colours::BrushOf(form.BackColor())) {
  const SIZE size = layout_.OuterSize(layout_.Dpi());
  const POINT at = Centred(size);
  if (!Create(kFormExStyle, kFormClass, Widen(form.Caption()).c_str(), kFormStyle,
              {at.x, at.y, at.x + size.cx, at.y + size.cy}, nullptr, services.instance))
    throw ui::ToolkitError(7, "Out of memory");
  // Marks our forms for the dialog-key handling of the message loop.
  SetPropW(Handle(), kDialogKeysProp, reinterpret_cast<HANDLE>(1));
  form.UserMoved(ToTwips(layout_.Dpi(), at.x), ToTwips(layout_.Dpi(), at.y));
  // Run elevated, the program would not hear a non-elevated Explorer's restart.
  if (services.taskbar_created)
    ChangeWindowMessageFilterEx(Handle(), services.taskbar_created, MSGFLT_ALLOW, nullptr);
  Push(ui::FormChange::Icon);
}

// The controls' windows go before the form's, and no message reaches the form
// while they go.
FormWindow::~FormWindow() {
  HWND window = Handle();
  Detach();
  controls_.clear();
  if (window) RemovePropW(window, kDialogKeysProp);
}

ControlWindow* FormWindow::Find(const ui::Control& control) const {
  for (const auto& c : controls_)
    if (&c->Model() == &control) return c.get();
  return nullptr;
}

// Made once as the model has them then, not made and then changed.
void FormWindow::MakeControlWindows() {
  if (!controls_.empty() || !Handle()) return;
  std::vector<ui::Control*> order;
  for (const auto& control : form_.Controls()) order.push_back(control.get());
  // Child windows are created in tab order, which is their order for the Tab key.
  std::stable_sort(order.begin(), order.end(), [](const ui::Control* a, const ui::Control* b) {
    const int ta = a->TabIndex() < 0 ? INT32_MAX : a->TabIndex();
    const int tb = b->TabIndex() < 0 ? INT32_MAX : b->TabIndex();
    return ta < tb;
  });
  // A label that names a control stands just before it; labels take no focus, so
  // the order of the controls that do stays that of their tab indexes.
  for (ui::Control* control : std::vector(order)) {
    const auto* label = dynamic_cast<const ui::Label*>(control);
    if (!label || !label->Named()) continue;
    order.erase(std::find(order.begin(), order.end(), control));
    order.insert(std::find(order.begin(), order.end(), label->Named()), control);
  }
  for (ui::Control* control : order)
    controls_.push_back(std::make_unique<ControlWindow>(
        *this, *control, ControlWindow::kFirstControlId + static_cast<int>(controls_.size())));
  // As in dialogs, focus and accelerator cues show once the keyboard is used.
  SendMessageW(Handle(), WM_CHANGEUISTATE,
               MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

void FormWindow::Push(ui::FormChange change) {
  HWND window = Handle();
  if (!window) return;
  // The window may be on a monitor of another DPI, or it changed while hidden.
  if (change == ui::FormChange::Visible && form_.Visible()) layout_.FollowWindowDpi();
  ModelPushGuard pushing(*this);
  switch (change) {
    case ui::FormChange::Caption:
      SetWindowTextW(window, Widen(form_.Caption()).c_str());
      break;
    case ui::FormChange::Icon:
      layout_.SetWindowIcons();
      break;
    case ui::FormChange::Visible:
      if (!form_.Visible()) {
        Show(SW_HIDE);
      } else if (form_.State() == ui::WindowState::Minimised) {
        ShowMinimised();
      } else {
        ShowNormal();
      }
      break;
    case ui::FormChange::WindowState: {
      // A hidden window takes its state when it is shown.
      if (!IsWindowVisible(window)) break;
      const bool minimised = form_.State() == ui::WindowState::Minimised;
      if (minimised != (IsIconic(window) != FALSE)) Show(minimised ? SW_MINIMIZE : SW_RESTORE);
      break;
    }
    case ui::FormChange::Position:
      SetWindowPos(window, nullptr, ToPixels(layout_.Dpi(), form_.Left()),
                   ToPixels(layout_.Dpi(), form_.Top()), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case ui::FormChange::BackColor:
      brush_ = Colours::BrushOf(form_.BackColor());
      InvalidateRect(window, nullptr, TRUE);
      break;
  }
}

// The launcher's state is applied out of sight where it may not be what the
// panel wants: maximised, or a normal window where the panel starts minimised.
// Never maximised, not even for a moment: the panel has a fixed size, and a
// window minimised from maximised would come back maximised.
void FormWindow::UseLauncherShowState(int launch, bool minimised) {
  HWND window = Handle();
  const bool unseen = minimised || launch == SW_SHOWMAXIMIZED;
  const LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  if (unseen) {
    SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, 0, LWA_ALPHA);
  }
  Show(SW_SHOWDEFAULT);
  if (IsZoomed(window)) Show(minimised ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL);
  if (minimised) Show(SW_SHOWMINNOACTIVE);
  if (!unseen) return;
  SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style);
  // Drawn anew without the layer.
  RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

void FormWindow::ShowMinimised() {
  if (const std::optional<int> launch = services_.launcher.Take())
    UseLauncherShowState(*launch, true);
  else
    Show(SW_SHOWMINNOACTIVE);
}

// Shown as the launcher asks at the first display (where the system does not
// apply it, as Wine, a launch minimised is applied here); the model follows
// what the window then is.
void FormWindow::ShowNormal() {
  HWND window = Handle();
  if (const std::optional<int> launch = services_.launcher.Take()) {
    UseLauncherShowState(*launch, false);
    if (IsMinimisedShow(*launch) && !IsIconic(window)) Show(SW_SHOWMINNOACTIVE);
  } else {
    Show(IsIconic(window) ? SW_RESTORE : SW_SHOWNORMAL);
  }
  // The panel has a fixed size, so it is never left maximised; a launch hidden shows it.
  if (IsZoomed(window) || !IsWindowVisible(window)) Show(SW_SHOWNORMAL);
  if (!IsIconic(window)) {
    layout_.FitClientArea();
    SetForegroundWindow(window);
    return;
  }
  // Launched minimised: into the notification area, as the user's minimising does.
  services_.tasks.Post([window] {
    FormWindow* shown = IsWindow(window) ? From(window) : nullptr;
    ui::Form* form = shown ? &shown->Model() : nullptr;
    if (form && form->Visible() && IsIconic(window))
      form->UserChangedState(ui::WindowState::Minimised);
  });
}

void FormWindow::Repaint() {
  RedrawWindow(Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

SIZE FormWindow::OuterSize() const {
  RECT r;
  GetWindowRect(Handle(), &r);
  return {r.right - r.left, r.bottom - r.top};
}

// --- Messages ---

LRESULT FormWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  // After an event of the model, the window and this object may be gone: each
  // case that dispatches one returns at once.
  switch (message) {
    case WM_COMMAND:
      if (lparam) OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_SIZE:
      OnSize(wparam);
      return 0;
    case WM_MOVE:
      OnMove();
      return 0;
    case WM_ACTIVATE:
      OnActivate(wparam);
      return 0;
    case WM_SETFOCUS:
      if (!IsIconic(Handle())) RestoreFocus();
      return 0;
    case WM_SETTINGCHANGE:
      // The system's message font or text size changed: the controls get it anew.
      if (wparam == SPI_SETNONCLIENTMETRICS) layout_.Apply(layout_.Dpi());
      if (wparam == SPI_SETHIGHCONTRAST) OnSystemColours(message, wparam, lparam);
      break;
    case WM_SYSCOLORCHANGE:
      OnSystemColours(message, wparam, lparam);
      break;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      // Yes, also to the Restart Manager (ENDSESSION_CLOSEAPP): we close without asking.
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns, hidden or not.
      if (wparam) OnEndSession();
      return 0;
    case kGetDpiScaledSize:
      // The exact size for the new DPI, which the system then suggests in WM_DPICHANGED.
      *reinterpret_cast<SIZE*>(lparam) = layout_.OuterSize(static_cast<int>(wparam));
      return TRUE;
    case WM_DPICHANGED:
      layout_.OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_ERASEBKGND:
      if (services_.colours.EraseBackground(Handle(), reinterpret_cast<HDC>(wparam), Brush()))
        return 1;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (LRESULT brush =
              OnControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)))
        return brush;
      break;
    default:
      if (message == kTrayCallbackMessage) {
        OnNotifyIcon(lparam);
        return 0;
      }
      if (message == services_.taskbar_created && message != 0) {
        OnNotifyAreaCreated();
        return 0;
      }
      break;
  }
  return DefWindowProcW(Handle(), message, wparam, lparam);
}

void FormWindow::OnCommand(int id, int code) {
  const size_t index = static_cast<size_t>(id - ControlWindow::kFirstControlId);
  if (pushing_ || id < ControlWindow::kFirstControlId || index >= controls_.size()) return;
  controls_[index]->OnCommand(code);
}

void FormWindow::OnSize(WPARAM kind) {
  if (pushing_) return;
  ui::Form* form = &form_;
  if (kind == SIZE_MINIMIZED)
    services_.events.Dispatch([form] { form->UserChangedState(ui::WindowState::Minimised); });
  else if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
    services_.events.Dispatch([form] { form->UserChangedState(ui::WindowState::Normal); });
}

void FormWindow::OnMove() {
  if (IsIconic(Handle())) return;
  RECT r;
  GetWindowRect(Handle(), &r);
  form_.UserMoved(ToTwips(layout_.Dpi(), r.left), ToTwips(layout_.Dpi(), r.top));
}

void FormWindow::OnClose() {
  ui::Form* form = &form_;
  services_.events.Dispatch([form] { form->UserClosed(); });
}

void FormWindow::OnEndSession() {
  ui::Form* form = &form_;
  EventLoop& events = services_.events;
  events.Dispatch([form] { form->UserEndedSession(); });
  // A box still open (one without an owner outlives the window) must not keep
  // the process from ending when the Restart Manager waits for it.
  for (HWND box : EventLoop::MessageBoxesOfThisThread()) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

void FormWindow::OnNotifyIcon(LPARAM lparam) {
  ui::Form* form = &form_;
  const int code = static_cast<int>(LOWORD(lparam));
  services_.events.Dispatch([form, code] {
    if (form->OnNotifyIcon) form->OnNotifyIcon(code);
  });
}

void FormWindow::OnNotifyAreaCreated() {
  ui::Form* form = &form_;
  services_.events.Dispatch([form] {
    if (form->OnNotifyAreaCreated) form->OnNotifyAreaCreated();
  });
}

// The frame itself never keeps the focus: the control that had it gets it back,
// the first time the first tab stop.
void FormWindow::OnActivate(WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(Handle(), focus)) focus_ = focus;
  } else if (!HIWORD(wparam)) {  // not while minimised
    RestoreFocus();
  }
}

void FormWindow::RestoreFocus() {
  HWND window = Handle();
  HWND focus = focus_;
  if (!focus || !IsChild(window, focus) || !IsWindowEnabled(focus) || !IsWindowVisible(focus))
    focus = GetNextDlgTabItem(window, focus && IsChild(window, focus) ? focus : nullptr, FALSE);
  if (focus) SetFocus(focus);
}

LRESULT FormWindow::OnControlColour(HDC dc, HWND control) {
  const size_t index = static_cast<size_t>(GetDlgCtrlID(control) - ControlWindow::kFirstControlId);
  if (index >= controls_.size() || controls_[index]->Handle() != control) return 0;
  const ControlWindow& window = *controls_[index];
  return reinterpret_cast<LRESULT>(
      services_.colours.ControlBackground(dc, window.Model(), window.Brush(), Brush()));
}

// The common controls learn of new system colours only from their top-level
// window, which passes WM_SYSCOLORCHANGE on to each of them.
void FormWindow::OnSystemColours(UINT message, WPARAM wparam, LPARAM lparam) {
  services_.colours.Refresh();
  if (message == WM_SYSCOLORCHANGE)
    for (const auto& control : controls_) SendMessageW(control->Handle(), message, wparam, lparam);
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace platform::win32
