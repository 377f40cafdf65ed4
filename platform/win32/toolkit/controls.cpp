// The controls as standard windows (STATIC, EDIT, BUTTON, COMBOBOX): their
// creation, places and fonts, the model's values pushed into them, and the
// user's input fed back to the model.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

namespace {

constexpr int kDropDownListTwips = 1800;  // height of an opened drop-down list

}  // namespace

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
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
  // A label that names a control stands just before it; labels take no focus, so
  // the order of the controls that do stays that of their tab indexes.
  for (ui::Control* control : std::vector(order)) {
    const auto* label = dynamic_cast<const ui::Label*>(control);
    if (!label || !label->Named()) continue;
    order.erase(std::find(order.begin(), order.end(), control));
    order.insert(std::find(order.begin(), order.end(), label->Named()), control);
  }
  for (ui::Control* control : order) CreateControl(peer, *control);
  // As in dialogs, focus and accelerator cues show once the keyboard is used.
  SendMessageW(peer.window, WM_CHANGEUISTATE,
               MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

void Win32Binding::CreateControl(FormPeer& peer, ui::Control& control) {
  auto* control_peer = new ControlPeer;
  control.native = control_peer;
  control_peer->id = kFirstControlId + static_cast<int>(peer.controls.size());
  peer.controls[control_peer->id] = &control;

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
  control_peer->window = CreateWindowExW(
      ex_style, window_class, text.c_str(), style, r.left, r.top, r.width, r.height, peer.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_peer->id)), instance_, nullptr);
  // Not drawn yet: the form is not shown.
  ApplyFont(peer, control, false);
  // A text box has no length limit; an edit control's default is 32,767 characters.
  if (control.Kind() == ui::ControlKind::TextBox)
    SendMessageW(control_peer->window, EM_SETLIMITTEXT, 0, 0);
  if (control.BackColor())
    control_peer->brush.Reset(CreateSolidBrush(ToColorRef(*control.BackColor())));
  for (auto change : {ui::ControlChange::Value, ui::ControlChange::Items,
                      ui::ControlChange::Picture, ui::ControlChange::AccessibleName})
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

void Win32Binding::Update(ui::Control& control, ui::ControlChange change) {
  ControlPeer* control_peer = PeerOf(control);
  FormPeer* peer = PeerOf(control.Owner());
  if (!control_peer || !control_peer->window || !peer) return;
  ModelPushGuard pushing(*peer);
  HWND window = control_peer->window;
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
      control_peer->brush.Reset(
          control.BackColor() ? CreateSolidBrush(ToColorRef(*control.BackColor())) : nullptr);
      InvalidateRect(window, nullptr, TRUE);
      break;
    case ui::ControlChange::Picture:
      if (auto* image = dynamic_cast<ui::Image*>(&control)) RenderPicture(*image);
      break;
    case ui::ControlChange::AccessibleName:
      NameForScreenReaders(control);
      break;
  }
}

void Win32Binding::OnCommand(FormPeer& peer, int id, int code) {
  auto found = peer.controls.find(id);
  if (found == peer.controls.end() || peer.pushing) return;
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

}  // namespace platform::win32
