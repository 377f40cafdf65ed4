// The toolkit model mirrored into real windows and standard controls (STATIC,
// EDIT, BUTTON, COMBOBOX), so that they look native and automation tools see
// them. The model decides every value; user input is fed back through the
// model's User* entry points, and what the model then sets is pushed here.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/resource_ids.h"
#include "platform/declarations.h"
#include "platform/win32/jpeg_win32.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_platform.h"
#include "ui/toolkit.h"

namespace platform::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"DraveloWebMonitorForm";
constexpr wchar_t kTaskClass[] = L"DraveloWebMonitorTasks";
constexpr UINT kRunPostedTasks = WM_APP + 2;
constexpr UINT_PTR kFirstTimerId = 100;
constexpr int kFirstControlId = 1000;
constexpr int kDropDownListTwips = 1800;  // height of an opened drop-down list
constexpr int kDefaultDpi = 96;
// WM_GETDPISCALEDSIZE of Windows 10 (1703 and later), newer than the headers' target.
constexpr UINT kGetDpiScaledSize = 0x02E4;
constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// --- Owners of device contexts ---

class DcOwner {
 public:
  explicit DcOwner(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~DcOwner() { ReleaseDC(window_, dc_); }
  DcOwner(const DcOwner&) = delete;
  DcOwner& operator=(const DcOwner&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// --- Per-monitor DPI ---

// The calls of Windows 10 (1607 and later), looked up at run time; older systems
// have one DPI for all monitors and get the system's metrics.
struct DpiApi {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

  DpiApi() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    get_dpi_for_window = Find<GetDpiForWindowFn>(user32, "GetDpiForWindow");
    get_system_metrics = Find<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
    system_parameters = Find<SystemParametersInfoForDpiFn>(user32, "SystemParametersInfoForDpi");
    adjust_window_rect = Find<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
  }
  template <class Fn>
  static Fn Find(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
  }

  int WindowDpi(HWND window, int fallback) const {
    const UINT dpi = query ? query(window) : get_dpi_for_window ? get_dpi_for_window(window) : 0;
    return dpi ? static_cast<int>(dpi) : fallback;
  }
  int Metric(int index, int dpi, int system_dpi) const {
    if (get_system_metrics) return get_system_metrics(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, system_dpi);
  }
  // The dialog font of the system at `dpi`.
  HFONT MessageFont(int dpi, int system_dpi) const {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (system_parameters && system_parameters(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                               static_cast<UINT>(dpi)))
      return CreateFontIndirectW(&metrics.lfMessageFont);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return nullptr;
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, system_dpi);
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, int dpi) const {
    RECT r{0, 0, client.cx, client.cy};
    if (!adjust_window_rect ||
        !adjust_window_rect(&r, style, FALSE, ex_style, static_cast<UINT>(dpi)))
      AdjustWindowRectEx(&r, style, FALSE, ex_style);
    return {r.right - r.left, r.bottom - r.top};
  }

  WindowDpiQuery query = nullptr;
  GetDpiForWindowFn get_dpi_for_window = nullptr;
  GetSystemMetricsForDpiFn get_system_metrics = nullptr;
  SystemParametersInfoForDpiFn system_parameters = nullptr;
  AdjustWindowRectExForDpiFn adjust_window_rect = nullptr;
};

// --- Embedded art ---

// The decoded logo at its own size; its pixels are those of 96 dpi.
class PictureArt : public ui::NativeResource {
 public:
  explicit PictureArt(DecodedPicture&& picture) : picture_(std::move(picture)) {}
  void* Handle() const override { return picture_.bitmap.Get(); }
  HBITMAP Bitmap() const { return picture_.bitmap.Get(); }
  SIZE Size() const { return picture_.size; }

 private:
  DecodedPicture picture_;
};

// The application icon in its two sizes; the small one is the handle handed out.
class IconArt : public ui::NativeResource {
 public:
  IconArt(HICON big, HICON small) : big_(big), small_(small) {}
  void* Handle() const override { return small_.Get(); }
  HICON Big() const { return big_.Get(); }
  HICON Small() const { return small_.Get(); }

 private:
  UniqueIcon big_;
  UniqueIcon small_;
};

DecodedPicture DecodeJpegResource(HINSTANCE instance, int id) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(instance, found);
  const DWORD size = SizeofResource(instance, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return {};
  return DecodeJpeg(bytes, size);
}

// --- Peers: the native side of forms and controls ---

struct ControlPeer {
  HWND window = nullptr;
  int id = 0;
  UniqueBrush brush;
  UniqueBitmap bitmap;
};

struct FormPeer {
  ui::Form* form = nullptr;
  HWND window = nullptr;
  // The DPI of the window's monitor, and the font and icons made for it.
  int dpi = kDefaultDpi;
  UniqueFont font;
  UniqueIcon big_icon;
  UniqueIcon small_icon;
  UniqueBrush brush;
  // The controls with windows; they get them at the form's first display.
  std::map<int, ui::Control*> controls;
  // The control that had the keyboard focus when the window was last deactivated.
  HWND focus = nullptr;
  // Set while the binding pushes a value, so the notifications it causes are not taken as input.
  bool syncing = false;
};

// A control's place at its form's DPI.
struct PixelBounds {
  int left, top, width, height;
};

FormPeer* PeerOf(const ui::Form& form) { return static_cast<FormPeer*>(form.native); }
ControlPeer* PeerOf(const ui::Control& control) {
  return static_cast<ControlPeer*>(control.native);
}

class SyncGuard {
 public:
  explicit SyncGuard(FormPeer& peer) : peer_(peer), previous_(peer.syncing) { peer.syncing = true; }
  ~SyncGuard() { peer_.syncing = previous_; }
  SyncGuard(const SyncGuard&) = delete;
  SyncGuard& operator=(const SyncGuard&) = delete;

 private:
  FormPeer& peer_;
  bool previous_;
};

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

COLORREF ToColorRef(ui::Color c) { return RGB(c.r, c.g, c.b); }

// Where a window of `size` stands centred on the screen.
POINT Centred(SIZE size) {
  return {(GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2};
}

WINDOWPLACEMENT WindowPlacementOf(HWND window) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);
  return placement;
}

// Whether the launcher asked for a minimised window (a shortcut set to "Run:
// Minimized"), which Windows gives the first window a program shows.
bool LaunchedMinimised() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) return false;
  const WORD show = startup.wShowWindow;
  return show == SW_SHOWMINIMIZED || show == SW_MINIMIZE || show == SW_SHOWMINNOACTIVE ||
         show == SW_FORCEMINIMIZE;
}

BOOL CALLBACK CollectMessageBox(HWND window, LPARAM boxes) {
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (std::wcscmp(cls, L"#32770") == 0)
    reinterpret_cast<std::vector<HWND>*>(boxes)->push_back(window);
  return TRUE;
}

// The message boxes (dialog windows) this thread shows.
std::vector<HWND> MessageBoxesOfThisThread() {
  std::vector<HWND> boxes;
  EnumThreadWindows(GetCurrentThreadId(), CollectMessageBox, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

class Win32Binding : public ui::Binding {
 public:
  explicit Win32Binding(WindowDpiQuery window_dpi);
  ~Win32Binding() override;

  void Load(ui::Form& form) override;
  void Unload(ui::Form& form) override;
  void Update(ui::Form& form, ui::FormChange change) override;
  void Update(ui::Control& control, ui::ControlChange change) override;
  void Repaint(ui::Form& form) override;
  void Schedule(ui::Timer& timer) override;
  void Post(std::function<void()> task) override;
  void RunLoop() override;
  void EndRun() override { PostQuitMessage(0); }
  void ShowMessage(const ui::Form* owner, const std::string& text, const std::string& caption,
                   ui::MessageIcon icon) override;
  void RaiseMessageBox() override;
  ui::Resource LoadArt(ui::EmbeddedArt art) override;
  int OuterWidth(const ui::Form& form) override;
  int OuterHeight(const ui::Form& form) override;
  int ScreenWidth(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CXSCREEN));
  }
  int ScreenHeight(const ui::Form& form) override {
    return ToTwips(DpiOf(form), GetSystemMetrics(SM_CYSCREEN));
  }
  void* NativeHandle(const ui::Form& form) override {
    return PeerOf(form) ? WindowOf(form).window : nullptr;
  }

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK TaskProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnFormMessage(FormPeer& peer, UINT message, WPARAM wparam, LPARAM lparam);
  void OnCommand(FormPeer& peer, int id, int code);
  void OnSize(FormPeer& peer, WPARAM kind);
  void OnMove(FormPeer& peer);
  void OnEndSession(FormPeer& peer);
  void OnActivate(FormPeer& peer, WPARAM wparam);
  void RestoreFocus(FormPeer& peer);
  void OnDpiChanged(FormPeer& peer, int dpi, const RECT& suggested);
  // Lays the form out again, at its size and centred, when its window's DPI is
  // not the one it was laid out for: a window made on a monitor whose scale is
  // not the system's gets no WM_DPICHANGED, nor one whose scale changed while
  // it was hidden.
  void FollowWindowDpi(FormPeer& peer);
  // The place a minimised window comes back to.
  void SetNormalRect(FormPeer& peer, const RECT& rect);
  // Where the frame does not grow with the DPI as assumed (Windows 8.1, Wine),
  // the window is made to fit its client area exactly, about the same centre.
  void FitClientArea(FormPeer& peer);
  void ShowNormal(FormPeer& peer);
  SIZE OuterSizePx(const ui::Form& form, int dpi) const;
  LRESULT OnControlColor(FormPeer& peer, HDC dc, HWND control);
  bool OnEraseBackground(FormPeer& peer, HDC dc);
  void RunPostedTasks();
  // Runs an event handler of the model; a failure nothing trapped is reported.
  template <class Handler>
  void Dispatch(Handler handler);
  // Reports the failure being handled in an "Error" box.
  void ReportFailure();

  // Timer changes made inside an event are applied when it ends, or before a
  // message box runs its own loop: the tick's disable-then-enable costs no calls.
  using TimerKey = std::pair<HWND, UINT_PTR>;
  void ApplyTimer(TimerKey key, UINT interval);
  void FlushTimers();

  // The form's peer with its native window, made now if it has none yet.
  FormPeer& WindowOf(const ui::Form& form);
  void CreateChildren(FormPeer& peer);
  static PixelBounds BoundsPx(const FormPeer& peer, const ui::Control& control);
  void ApplyFont(FormPeer& peer, ui::Control& control, bool redraw);
  void CreateControl(FormPeer& peer, ui::Control& control);
  // Lays the form out for `dpi` from its twips: controls, fonts, logo and icons.
  void ApplyDpi(FormPeer& peer, int dpi);
  void PlaceControl(FormPeer& peer, ui::Control& control);
  void FitDropDown(FormPeer& peer, ui::Control& control);
  void SetWindowIcons(FormPeer& peer);
  HICON LoadAppIcon(int metric_x, int metric_y, int dpi) const;
  void RenderPicture(ui::Image& image);
  int DpiOf(const ui::Form& form) const { return PeerOf(form) ? PeerOf(form)->dpi : system_dpi_; }
  static int ToPixels(int dpi, int twips) { return MulDiv(twips, dpi, 1440); }
  static int ToTwips(int dpi, int pixels) { return MulDiv(pixels, 1440, dpi); }

  HINSTANCE instance_;
  DpiApi dpi_api_;
  // The DPI of the primary monitor when the program started; the notification area's.
  int system_dpi_ = kDefaultDpi;
  UINT taskbar_created_ = 0;
  // A window has been shown: the launcher's show state is taken.
  bool shown_ = false;
  HWND task_window_ = nullptr;
  std::deque<std::function<void()>> tasks_;
  int dispatch_depth_ = 0;
  // Interval of each running timer, and the changes of the current event (0 stops).
  // The changes are kept in vectors that keep their storage: a tick allocates nothing.
  std::map<TimerKey, UINT> running_timers_;
  std::vector<std::pair<TimerKey, UINT>> pending_timers_;
  std::vector<std::pair<TimerKey, UINT>> flushing_timers_;
  void ForgetTimers(HWND window);
};

Win32Binding::Win32Binding(WindowDpiQuery window_dpi) : instance_(GetModuleHandleW(nullptr)) {
  dpi_api_.query = window_dpi;
  LoadCommonControls(ICC_STANDARD_CLASSES);
  {
    DcOwner screen(nullptr);
    system_dpi_ = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    if (system_dpi_ <= 0) system_dpi_ = kDefaultDpi;
  }
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");

  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = FormProc;
  form_class.hInstance = instance_;
  form_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kFormClass;
  RegisterClassExW(&form_class);

  WNDCLASSEXW task_class{};
  task_class.cbSize = sizeof task_class;
  task_class.lpfnWndProc = TaskProc;
  task_class.hInstance = instance_;
  task_class.lpszClassName = kTaskClass;
  RegisterClassExW(&task_class);
  // A message-only window: posted tasks also run inside message boxes' loops.
  task_window_ =
      CreateWindowExW(0, kTaskClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, this);
}

Win32Binding::~Win32Binding() {
  if (task_window_) DestroyWindow(task_window_);
}

template <class Handler>
void Win32Binding::Dispatch(Handler handler) {
  ++dispatch_depth_;
  try {
    handler();
  } catch (...) {
    ReportFailure();
  }
  --dispatch_depth_;
  FlushTimers();
}

void Win32Binding::ReportFailure() {
  std::string text = "Unknown failure";
  try {
    throw;
  } catch (const ui::ToolkitError& failure) {
    text = std::to_string(failure.Number()) + "\r\n" + failure.Description();
  } catch (const std::exception& failure) {
    text = failure.what();
  } catch (...) {
  }
  try {
    ShowMessage(nullptr, text, "Error", ui::MessageIcon::Information);
  } catch (...) {
    // Nothing may unwind through the system: on x64 that ends the process.
  }
}

// --- Forms ---

SIZE Win32Binding::OuterSizePx(const ui::Form& form, int dpi) const {
  return dpi_api_.OuterSize({ToPixels(dpi, form.ClientWidth()), ToPixels(dpi, form.ClientHeight())},
                            kFormStyle, kFormExStyle, dpi);
}

// A loaded form gets its native window when something first needs it: its
// display, its timer or its handle. One that is never shown (the start-up
// window) costs no windows. Its controls' windows come with its first display,
// made once as the model has them then, not made and then changed.
void Win32Binding::Load(ui::Form& form) {
  auto* peer = new FormPeer;
  peer->form = &form;
  peer->dpi = system_dpi_;
  form.native = peer;
}

FormPeer& Win32Binding::WindowOf(const ui::Form& form) {
  FormPeer* peer = PeerOf(form);
  if (peer->window) return *peer;
  peer->font.Reset(dpi_api_.MessageFont(peer->dpi, system_dpi_));
  ui::Form& model = *peer->form;
  const SIZE size = OuterSizePx(model, peer->dpi);
  // Centred on the screen at first display.
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

void Win32Binding::FollowWindowDpi(FormPeer& peer) {
  const int dpi = dpi_api_.WindowDpi(peer.window, peer.dpi);
  if (dpi == peer.dpi) return;
  ApplyDpi(peer, dpi);
  const SIZE size = OuterSizePx(*peer.form, dpi);
  const POINT at = Centred(size);
  if (IsIconic(peer.window)) {
    SetNormalRect(peer, {at.x, at.y, at.x + size.cx, at.y + size.cy});
    return;
  }
  SyncGuard sync(peer);
  SetWindowPos(peer.window, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea(peer);
}

void Win32Binding::SetNormalRect(FormPeer& peer, const RECT& rect) {
  WINDOWPLACEMENT placement = WindowPlacementOf(peer.window);
  placement.rcNormalPosition = rect;
  placement.flags = 0;
  placement.showCmd = IsWindowVisible(peer.window) ? SW_SHOWMINNOACTIVE : SW_HIDE;
  SyncGuard sync(peer);
  SetWindowPlacement(peer.window, &placement);
}

void Win32Binding::FitClientArea(FormPeer& peer) {
  RECT client, outer;
  GetClientRect(peer.window, &client);
  const int dx = ToPixels(peer.dpi, peer.form->ClientWidth()) - client.right;
  const int dy = ToPixels(peer.dpi, peer.form->ClientHeight()) - client.bottom;
  if (dx == 0 && dy == 0) return;
  GetWindowRect(peer.window, &outer);
  SetWindowPos(peer.window, nullptr, outer.left - dx / 2, outer.top - dy / 2,
               outer.right - outer.left + dx, outer.bottom - outer.top + dy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Binding::CreateChildren(FormPeer& peer) {
  if (!peer.controls.empty()) return;
  std::vector<ui::Control*> order;
  for (auto& control : peer.form->Controls()) order.push_back(control.get());
  // Child windows are created in tab order, which is their order for the Tab key.
  std::stable_sort(order.begin(), order.end(), [](const ui::Control* a, const ui::Control* b) {
    const int ta = a->TabIndex() < 0 ? INT32_MAX : a->TabIndex();
    const int tb = b->TabIndex() < 0 ? INT32_MAX : b->TabIndex();
    return ta < tb;
  });
  for (ui::Control* control : order) CreateControl(peer, *control);
  // As in dialogs, focus and accelerator cues show once the keyboard is used.
  SendMessageW(peer.window, WM_CHANGEUISTATE,
               MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

void Win32Binding::CreateControl(FormPeer& peer, ui::Control& control) {
  auto* cp = new ControlPeer;
  control.native = cp;
  cp->id = kFirstControlId + static_cast<int>(peer.controls.size());
  peer.controls[cp->id] = &control;

  const wchar_t* window_class = L"STATIC";
  DWORD style = WS_CHILD;
  DWORD ex_style = 0;
  std::wstring text = Widen(control.Caption());
  switch (control.Kind()) {
    case ui::ControlKind::Label:
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ui::ControlKind::TextBox:
      window_class = L"EDIT";
      style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ui::ControlKind::CheckBox:
      window_class = L"BUTTON";
      style |= WS_TABSTOP | BS_3STATE;  // not automatic: the model decides the value
      break;
    case ui::ControlKind::PushButton:
      window_class = L"BUTTON";
      style |= WS_TABSTOP | BS_PUSHBUTTON;
      break;
    case ui::ControlKind::DropDownList:
      window_class = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      text.clear();
      break;
    case ui::ControlKind::Image:
      style |= SS_BITMAP;
      text.clear();
      break;
  }
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  const PixelBounds r = BoundsPx(peer, control);
  cp->window = CreateWindowExW(
      ex_style, window_class, text.c_str(), style, r.left, r.top, r.width, r.height, peer.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(cp->id)), instance_, nullptr);
  // Not drawn yet: the form is not shown.
  ApplyFont(peer, control, false);
  // A text box has no length limit; an edit control's default is 32,767 characters.
  if (control.Kind() == ui::ControlKind::TextBox) SendMessageW(cp->window, EM_SETLIMITTEXT, 0, 0);
  // Bring the native control up to the model's state.
  if (control.BackColor()) cp->brush.Reset(CreateSolidBrush(ToColorRef(*control.BackColor())));
  for (auto change :
       {ui::ControlChange::Value, ui::ControlChange::Items, ui::ControlChange::Picture})
    Update(control, change);
}

PixelBounds Win32Binding::BoundsPx(const FormPeer& peer, const ui::Control& control) {
  const ui::Rect& b = control.Bounds();
  int height = ToPixels(peer.dpi, b.height);
  // A drop-down list's window reaches down over its opened list.
  if (control.Kind() == ui::ControlKind::DropDownList)
    height += ToPixels(peer.dpi, kDropDownListTwips);
  return {ToPixels(peer.dpi, b.left), ToPixels(peer.dpi, b.top), ToPixels(peer.dpi, b.width),
          height};
}

void Win32Binding::ApplyFont(FormPeer& peer, ui::Control& control, bool redraw) {
  if (peer.font.Get())
    SendMessageW(PeerOf(control)->window, WM_SETFONT, reinterpret_cast<WPARAM>(peer.font.Get()),
                 redraw);
  if (control.Kind() == ui::ControlKind::DropDownList) FitDropDown(peer, control);
}

void Win32Binding::PlaceControl(FormPeer& peer, ui::Control& control) {
  const PixelBounds r = BoundsPx(peer, control);
  SetWindowPos(PeerOf(control)->window, nullptr, r.left, r.top, r.width, r.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyFont(peer, control, true);
}

// A closed drop-down list is as high as its font makes it; it is made as high as
// its twips at this DPI, so that it keeps its proportions with the other controls.
// The height set and the height got back differ by a border that is not the same
// everywhere (Wine adds two pixels to the one set), so a second step corrects it.
void Win32Binding::FitDropDown(FormPeer& peer, ui::Control& control) {
  HWND window = PeerOf(control)->window;
  const int wanted = ToPixels(peer.dpi, control.Bounds().height);
  LRESULT field = SendMessageW(window, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int step = 0; step < 2 && field > 0; ++step) {
    RECT closed;
    GetWindowRect(window, &closed);
    const int off = wanted - (closed.bottom - closed.top);
    if (off == 0 || field + off <= 0) break;
    field += off;
    SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

void Win32Binding::ApplyDpi(FormPeer& peer, int dpi) {
  SyncGuard sync(peer);
  peer.dpi = dpi;
  UniqueFont old_font = std::move(peer.font);
  peer.font.Reset(dpi_api_.MessageFont(dpi, system_dpi_));
  for (auto& control : peer.form->Controls()) {
    if (!PeerOf(*control)) continue;
    PlaceControl(peer, *control);
    if (auto* image = dynamic_cast<ui::Image*>(control.get())) RenderPicture(*image);
  }
  SetWindowIcons(peer);
}

HICON Win32Binding::LoadAppIcon(int metric_x, int metric_y, int dpi) const {
  return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                       dpi_api_.Metric(metric_x, dpi, system_dpi_),
                                       dpi_api_.Metric(metric_y, dpi, system_dpi_),
                                       LR_DEFAULTCOLOR));
}

// The loaded icon art is made for the system's DPI; a window on a monitor with
// another DPI gets its own images, so that Windows need not scale them.
void Win32Binding::SetWindowIcons(FormPeer& peer) {
  const auto* art = dynamic_cast<const IconArt*>(peer.form->Icon().get());
  UniqueIcon big, small;
  if (art && peer.dpi != system_dpi_) {
    big.Reset(LoadAppIcon(SM_CXICON, SM_CYICON, peer.dpi));
    small.Reset(LoadAppIcon(SM_CXSMICON, SM_CYSMICON, peer.dpi));
  }
  HICON big_handle = big.Get() ? big.Get() : art ? art->Big() : nullptr;
  HICON small_handle = small.Get() ? small.Get() : art ? art->Small() : nullptr;
  SendMessageW(peer.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_handle));
  SendMessageW(peer.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_handle));
  // The window no longer uses the images it had.
  peer.big_icon = std::move(big);
  peer.small_icon = std::move(small);
}

void Win32Binding::Unload(ui::Form& form) {
  FormPeer* peer = PeerOf(form);
  if (!peer) return;
  for (auto& control : form.Controls()) {
    delete PeerOf(*control);
    control->native = nullptr;
  }
  form.native = nullptr;
  HWND window = peer->window;
  peer->form = nullptr;
  if (window) {
    ForgetTimers(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  delete peer;
}

void Win32Binding::Update(ui::Form& form, ui::FormChange change) {
  FormPeer* peer = PeerOf(form);
  if (peer && change == ui::FormChange::Visible && form.Visible()) {
    peer = &WindowOf(form);
    // The window may be on a monitor of another DPI, or it changed while hidden.
    FollowWindowDpi(*peer);
    CreateChildren(*peer);
  }
  if (!peer || !peer->window) return;
  SyncGuard sync(*peer);
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
        ShowWindow(peer->window, SW_SHOWMINNOACTIVE);
        shown_ = true;
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

// Windows gives the program's first shown window the launcher's show state in
// place of the one asked for (where it does not, as Wine, a launch minimised is
// applied here); the model follows what the window then is.
void Win32Binding::ShowNormal(FormPeer& peer) {
  HWND window = peer.window;
  const bool minimised = !std::exchange(shown_, true) && LaunchedMinimised();
  ShowWindow(window, minimised          ? SW_SHOWMINNOACTIVE
                     : IsIconic(window) ? SW_RESTORE
                                        : SW_SHOWNORMAL);
  // The panel has a fixed size, so a launch maximised shows it normally.
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

// --- Controls ---

void Win32Binding::Update(ui::Control& control, ui::ControlChange change) {
  ControlPeer* cp = PeerOf(control);
  FormPeer* peer = PeerOf(control.Owner());
  if (!cp || !cp->window || !peer) return;
  SyncGuard sync(*peer);
  HWND window = cp->window;
  switch (change) {
    case ui::ControlChange::Caption:
      SetWindowTextW(window, Widen(control.Caption()).c_str());
      break;
    case ui::ControlChange::Text: {
      // The user's own typing comes back unchanged; rewriting it would move the caret.
      const std::wstring text = Widen(control.Caption());
      if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
      break;
    }
    case ui::ControlChange::Value:
      if (auto* box = dynamic_cast<ui::CheckBox*>(&control))
        SendMessageW(window, BM_SETCHECK, static_cast<WPARAM>(box->Value()), 0);
      break;
    case ui::ControlChange::Items:
      if (auto* list = dynamic_cast<ui::DropDownList*>(&control)) {
        SendMessageW(window, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : list->Items())
          SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(list->ListIndex()), 0);
      }
      break;
    case ui::ControlChange::ListIndex:
      if (auto* list = dynamic_cast<ui::DropDownList*>(&control))
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(list->ListIndex()), 0);
      break;
    case ui::ControlChange::Enabled:
      // The keyboard would go dead with the focus on a disabled control.
      if (!control.Enabled() && GetFocus() == window) {
        HWND next = GetNextDlgTabItem(peer->window, window, FALSE);
        if (next && next != window) SetFocus(next);
      }
      EnableWindow(window, control.Enabled());
      break;
    case ui::ControlChange::Visible:
      ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case ui::ControlChange::BackColor:
      cp->brush.Reset(control.BackColor() ? CreateSolidBrush(ToColorRef(*control.BackColor()))
                                          : nullptr);
      InvalidateRect(window, nullptr, TRUE);
      break;
    case ui::ControlChange::Picture:
      if (auto* image = dynamic_cast<ui::Image*>(&control)) RenderPicture(*image);
      break;
  }
}

// Draws the picture at its own size for the window's DPI (its pixels are those of
// 96 dpi), in the control's area.
void Win32Binding::RenderPicture(ui::Image& image) {
  ControlPeer* cp = PeerOf(image);
  const int dpi = DpiOf(image.Owner());
  const auto* art = dynamic_cast<const PictureArt*>(image.Picture().get());
  UniqueBitmap bitmap;
  if (art && art->Bitmap()) {
    const SIZE own = art->Size();
    const int cx = MulDiv(own.cx, dpi, kDefaultDpi);
    const int cy = MulDiv(own.cy, dpi, kDefaultDpi);
    DcOwner screen(nullptr);
    HDC memory = CreateCompatibleDC(screen.Get());
    HDC source = CreateCompatibleDC(screen.Get());
    bitmap.Reset(CreateCompatibleBitmap(screen.Get(), cx, cy));
    HGDIOBJ old = SelectObject(memory, bitmap.Get());
    HGDIOBJ old_source = SelectObject(source, art->Bitmap());
    SetStretchBltMode(memory, HALFTONE);
    SetBrushOrgEx(memory, 0, 0, nullptr);
    StretchBlt(memory, 0, 0, cx, cy, source, 0, 0, own.cx, own.cy, SRCCOPY);
    SelectObject(source, old_source);
    SelectObject(memory, old);
    DeleteDC(source);
    DeleteDC(memory);
  }
  SendMessageW(cp->window, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.Get()));
  cp->bitmap = std::move(bitmap);
}

// --- Timers and tasks ---

void Win32Binding::Schedule(ui::Timer& timer) {
  FormPeer* peer = PeerOf(timer.Owner());
  if (peer && timer.Enabled()) peer = &WindowOf(timer.Owner());
  if (!peer || !peer->window) return;
  const auto& timers = timer.Owner().Timers();
  const auto index =
      std::find_if(timers.begin(), timers.end(), [&](const auto& t) { return t.get() == &timer; }) -
      timers.begin();
  const TimerKey key{peer->window, kFirstTimerId + static_cast<UINT_PTR>(index)};
  const UINT interval = timer.Enabled() ? static_cast<UINT>(std::max(timer.Interval(), 1)) : 0;
  if (dispatch_depth_ == 0) return ApplyTimer(key, interval);
  const auto pending = std::find_if(pending_timers_.begin(), pending_timers_.end(),
                                    [&](const auto& p) { return p.first == key; });
  if (pending != pending_timers_.end())
    pending->second = interval;
  else
    pending_timers_.emplace_back(key, interval);
}

void Win32Binding::ApplyTimer(TimerKey key, UINT interval) {
  if (interval == 0) {
    KillTimer(key.first, key.second);
    running_timers_.erase(key);
  } else {
    // SetTimer on a running timer starts its period anew.
    SetTimer(key.first, key.second, interval, nullptr);
    running_timers_[key] = interval;
  }
}

void Win32Binding::FlushTimers() {
  flushing_timers_.swap(pending_timers_);
  for (const auto& [key, interval] : flushing_timers_) {
    const auto running = running_timers_.find(key);
    const UINT now = running == running_timers_.end() ? 0 : running->second;
    // A tick stops its timer and starts it again: that leaves nothing to do. A window
    // destroyed meanwhile has already dropped its changes at WM_NCDESTROY.
    if (interval != now) ApplyTimer(key, interval);
  }
  flushing_timers_.clear();
}

void Win32Binding::ForgetTimers(HWND window) {
  std::erase_if(running_timers_, [&](const auto& t) { return t.first.first == window; });
  std::erase_if(pending_timers_, [&](const auto& t) { return t.first.first == window; });
}

void Win32Binding::Post(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  PostMessageW(task_window_, kRunPostedTasks, 0, 0);
}

void Win32Binding::RunPostedTasks() {
  while (!tasks_.empty()) {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    Dispatch(task);
  }
}

void Win32Binding::RunLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Only keys take the dialog-key handling; it would dispatch the rest as below.
    // The test for our forms asks the server, so ticks and paints skip it.
    const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
    HWND top = key ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && GetPropW(top, kFormClass) && IsDialogMessageW(top, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32Binding::ShowMessage(const ui::Form* owner, const std::string& text,
                               const std::string& caption, ui::MessageIcon icon) {
  FlushTimers();  // a timer stopped by this event must not fire inside the box's loop
  HWND owner_window = owner && PeerOf(*owner) ? PeerOf(*owner)->window : nullptr;
  // A box with no window to own it (the panel hidden in the notification area)
  // may not take the foreground; on top of all windows it is seen all the same.
  const UINT flags = MB_OK | MB_SETFOREGROUND |
                     (icon == ui::MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION) |
                     (owner_window ? 0 : MB_TASKMODAL | MB_TOPMOST);
  MessageBoxW(owner_window, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

void Win32Binding::RaiseMessageBox() {
  for (HWND box : MessageBoxesOfThisThread()) {
    // Windows hides the boxes of a minimised owner; they come back with it.
    if (!IsWindowVisible(box)) {
      HWND owner = GetWindow(box, GW_OWNER);
      if (!owner || !IsWindowVisible(owner) || IsIconic(owner)) continue;
      ShowWindow(box, SW_SHOWNA);
    }
    SetForegroundWindow(box);
    FLASHWINFO flash{sizeof flash, box, FLASHW_CAPTION, 3, 0};
    FlashWindowEx(&flash);
  }
}

ui::Resource Win32Binding::LoadArt(ui::EmbeddedArt art) {
  if (art == ui::EmbeddedArt::Logo) {
    DecodedPicture picture = DecodeJpegResource(instance_, IDR_LOGO_JPEG);
    if (!picture.bitmap) return nullptr;
    return std::make_shared<PictureArt>(std::move(picture));
  }
  // At the system's DPI, the notification area's: its small image is the icon's.
  HICON big = LoadAppIcon(SM_CXICON, SM_CYICON, system_dpi_);
  HICON small = LoadAppIcon(SM_CXSMICON, SM_CYSMICON, system_dpi_);
  if (!big && !small) return nullptr;
  return std::make_shared<IconArt>(big, small);
}

// --- Window procedures ---

LRESULT CALLBACK Win32Binding::TaskProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kRunPostedTasks) {
    if (auto* self = reinterpret_cast<Win32Binding*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
      self->RunPostedTasks();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK Win32Binding::FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* peer = static_cast<FormPeer*>(create->lpCreateParams);
    peer->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
    // Marks our forms for the dialog-key handling of the message loop.
    SetPropW(window, kFormClass, reinterpret_cast<HANDLE>(1));
  }
  if (message == WM_NCDESTROY) RemovePropW(window, kFormClass);
  auto* peer = reinterpret_cast<FormPeer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (peer && peer->form) {
    auto& self = static_cast<Win32Binding&>(peer->form->App().Platform());
    try {
      return self.OnFormMessage(*peer, message, wparam, lparam);
    } catch (...) {
      self.ReportFailure();
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
    case WM_TIMER: {
      const auto& timers = peer.form->Timers();
      const size_t index = wparam - kFirstTimerId;
      if (wparam >= kFirstTimerId && index < timers.size()) {
        ui::Timer* timer = timers[index].get();
        Dispatch([timer] { timer->Elapsed(); });
      }
      return 0;
    }
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
      break;
    case WM_NCDESTROY:
      // A window that goes without Unload must not leave its timers on the books.
      ForgetTimers(window);
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

void Win32Binding::OnCommand(FormPeer& peer, int id, int code) {
  auto found = peer.controls.find(id);
  if (found == peer.controls.end() || peer.syncing) return;
  ui::Control* control = found->second;
  HWND window = PeerOf(*control)->window;
  switch (control->Kind()) {
    case ui::ControlKind::PushButton:
      if (code == BN_CLICKED)
        Dispatch([control] { static_cast<ui::PushButton*>(control)->UserClicked(); });
      break;
    case ui::ControlKind::CheckBox:
      if (code == BN_CLICKED)
        Dispatch([control] { static_cast<ui::CheckBox*>(control)->UserClicked(); });
      break;
    case ui::ControlKind::TextBox:
      if (code == EN_CHANGE) {
        const std::string text = Narrow(WindowText(window));
        Dispatch([control, text] { static_cast<ui::TextBox*>(control)->UserEdited(text); });
      }
      break;
    case ui::ControlKind::DropDownList:
      if (code == CBN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageW(window, CB_GETCURSEL, 0, 0));
        Dispatch(
            [control, index] { static_cast<ui::DropDownList*>(control)->UserSelected(index); });
      }
      break;
    default:
      break;
  }
}

void Win32Binding::OnSize(FormPeer& peer, WPARAM kind) {
  if (peer.syncing) return;
  ui::Form* form = peer.form;
  if (kind == SIZE_MINIMIZED)
    Dispatch([form] { form->UserChangedState(ui::WindowState::Minimized); });
  else if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
    Dispatch([form] { form->UserChangedState(ui::WindowState::Normal); });
}

void Win32Binding::OnEndSession(FormPeer& peer) {
  ui::Form* form = peer.form;  // the peer may be gone after the event
  Dispatch([form] { form->UserEndedSession(); });
  // A box still open (one without an owner outlives the window) must not keep
  // the process from ending when the Restart Manager waits for it.
  for (HWND box : MessageBoxesOfThisThread()) PostMessageW(box, WM_COMMAND, IDOK, 0);
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

void Win32Binding::OnDpiChanged(FormPeer& peer, int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  ApplyDpi(peer, dpi);
  if (IsIconic(peer.window)) {
    // Minimised into the notification area: the size it comes back with.
    const RECT normal = WindowPlacementOf(peer.window).rcNormalPosition;
    const SIZE size = OuterSizePx(*peer.form, dpi);
    SetNormalRect(peer, {normal.left, normal.top, normal.left + size.cx, normal.top + size.cy});
    return;
  }
  SetWindowPos(peer.window, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea(peer);
  InvalidateRect(peer.window, nullptr, TRUE);
}

void Win32Binding::OnMove(FormPeer& peer) {
  if (IsIconic(peer.window)) return;
  RECT r;
  GetWindowRect(peer.window, &r);
  peer.form->UserMoved(ToTwips(peer.dpi, r.left), ToTwips(peer.dpi, r.top));
}

bool Win32Binding::OnEraseBackground(FormPeer& peer, HDC dc) {
  if (!peer.brush.Get()) return false;
  RECT r;
  GetClientRect(peer.window, &r);
  FillRect(dc, &r, peer.brush.Get());
  return true;
}

LRESULT Win32Binding::OnControlColor(FormPeer& peer, HDC dc, HWND control_window) {
  const int id = GetDlgCtrlID(control_window);
  auto found = peer.controls.find(id);
  if (found == peer.controls.end()) return 0;
  ui::Control* control = found->second;
  // A read-only or disabled text box keeps the system's colours.
  if (control->Kind() == ui::ControlKind::TextBox) return 0;
  ControlPeer* cp = PeerOf(*control);
  HBRUSH brush = cp->brush.Get() ? cp->brush.Get() : peer.brush.Get();
  if (!brush) return 0;
  const ui::Color color =
      control->BackColor() ? *control->BackColor() : peer.form->BackColor().value_or(ui::Color{});
  SetBkColor(dc, ToColorRef(color));
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(brush);
}

}  // namespace

std::unique_ptr<ui::Binding> MakeBinding(WindowDpiQuery window_dpi) {
  return std::make_unique<Win32Binding>(window_dpi);
}

void ReportFatal(const char* what) {
  MessageBoxW(nullptr, Widen(what ? what : "Unknown failure").c_str(), L"Error",
              MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
}

}  // namespace platform::win32
