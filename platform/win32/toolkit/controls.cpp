#include "platform/win32/toolkit/controls.h"

#include <string>

#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit/form_window.h"

namespace platform::win32 {

namespace {

constexpr int kDropDownListTwips = 1800;  // height of an opened drop-down list

struct WindowKind {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
  bool text;  // the caption is the window's text
};

WindowKind KindOf(ui::ControlKind kind) {
  switch (kind) {
    case ui::ControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0, true};
    case ui::ControlKind::TextBox:
      return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, true};
    case ui::ControlKind::CheckBox:
      // Not automatic: the model decides the value.
      return {L"BUTTON", WS_TABSTOP | BS_3STATE, 0, true};
    case ui::ControlKind::PushButton:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, true};
    case ui::ControlKind::DropDownList:
      return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, false};
    case ui::ControlKind::Image:
      break;
  }
  return {L"STATIC", SS_BITMAP, 0, false};
}

// A control's place at its form's DPI.
RECT BoundsPx(int dpi, const ui::Control& control) {
  const ui::Rect& b = control.Bounds();
  int height = ToPixels(dpi, b.height);
  // A drop-down list's window reaches down over its opened list.
  if (control.Kind() == ui::ControlKind::DropDownList) height += ToPixels(dpi, kDropDownListTwips);
  const int left = ToPixels(dpi, b.left), top = ToPixels(dpi, b.top);
  return {left, top, left + ToPixels(dpi, b.width), top + height};
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

ControlWindow::ControlWindow(FormWindow& form, ui::Control& control, int id)
    : form_(form), control_(control), id_(id), brush_(Colours::BrushOf(control.BackColor())) {
  const WindowKind kind = KindOf(control.Kind());
  DWORD style = WS_CHILD | kind.style;
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  const RECT r = BoundsPx(form.Layout().Dpi(), control);
  window_.Reset(CreateWindowExW(
      kind.ex_style, kind.window_class, kind.text ? Widen(control.Caption()).c_str() : L"", style,
      r.left, r.top, r.right - r.left, r.bottom - r.top, form.Handle(),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), form.Services().instance, nullptr));
  ApplyFont(false);
  // A text box has no length limit; an edit control's default is 32,767 characters.
  if (control.Kind() == ui::ControlKind::TextBox) SendMessageW(Handle(), EM_SETLIMITTEXT, 0, 0);
  for (auto change : {ui::ControlChange::Value, ui::ControlChange::Items,
                      ui::ControlChange::Picture, ui::ControlChange::AccessibleName})
    Push(change);
}

ControlWindow::~ControlWindow() {
  if (Handle()) form_.Services().annotations.Forget(Handle());
}

void ControlWindow::ApplyFont(bool redraw) {
  if (HFONT font = form_.Layout().Font())
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
  if (control_.Kind() == ui::ControlKind::DropDownList) FitDropDown();
}

void ControlWindow::Place() {
  const RECT r = BoundsPx(form_.Layout().Dpi(), control_);
  SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyFont(true);
  if (control_.Kind() == ui::ControlKind::Image) RenderPicture();
}

// A closed drop-down list is as high as its font makes it; it is made as high as
// its twips at this DPI, so that it keeps its proportions with the other controls.
// The height set and the height got back differ by a border that is not the same
// everywhere (Wine adds two pixels to the one set), so a second step corrects it.
void ControlWindow::FitDropDown() {
  const int wanted = ToPixels(form_.Layout().Dpi(), control_.Bounds().height);
  LRESULT field = SendMessageW(Handle(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int step = 0; step < 2 && field > 0; ++step) {
    RECT closed;
    GetWindowRect(Handle(), &closed);
    const int off = wanted - (closed.bottom - closed.top);
    if (off == 0 || field + off <= 0) break;
    field += off;
    SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

// Draws the picture at its own size for the window's DPI, in the control's area.
void ControlWindow::RenderPicture() {
  const auto* image = dynamic_cast<const ui::Image*>(&control_);
  if (!image) return;
  UniqueBitmap bitmap = form_.Services().art.PictureAt(image->Picture(), form_.Layout().Dpi());
  SendMessageW(Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.Get()));
  bitmap_ = std::move(bitmap);
}

void ControlWindow::Push(ui::ControlChange change) {
  if (!Handle()) return;
  ModelPushGuard pushing(form_);
  HWND window = Handle();
  switch (change) {
    case ui::ControlChange::Caption:
      SetWindowTextW(window, Widen(control_.Caption()).c_str());
      break;
    case ui::ControlChange::Text: {
      // The user's own typing comes back unchanged; rewriting it would move the caret.
      const std::wstring text = Widen(control_.Caption());
      if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
      break;
    }
    case ui::ControlChange::Value:
      if (auto* box = dynamic_cast<ui::CheckBox*>(&control_))
        SendMessageW(window, BM_SETCHECK, static_cast<WPARAM>(box->Value()), 0);
      break;
    case ui::ControlChange::Items:
      if (auto* list = dynamic_cast<ui::DropDownList*>(&control_)) {
        SendMessageW(window, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : list->Items())
          SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(list->ListIndex()), 0);
      }
      break;
    case ui::ControlChange::ListIndex:
      if (auto* list = dynamic_cast<ui::DropDownList*>(&control_))
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(list->ListIndex()), 0);
      break;
    case ui::ControlChange::Enabled:
      // The keyboard would go dead with the focus on a disabled control.
      if (!control_.Enabled() && GetFocus() == window) {
        HWND next = GetNextDlgTabItem(form_.Handle(), window, FALSE);
        if (next && next != window) SetFocus(next);
      }
      EnableWindow(window, control_.Enabled());
      break;
    case ui::ControlChange::Visible:
      ShowWindow(window, control_.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case ui::ControlChange::BackColor:
      brush_ = Colours::BrushOf(control_.BackColor());
      InvalidateRect(window, nullptr, TRUE);
      break;
    case ui::ControlChange::Picture:
      RenderPicture();
      break;
    case ui::ControlChange::AccessibleName:
      form_.Services().annotations.Name(window, control_.AccessibleName());
      break;
  }
}

void ControlWindow::OnCommand(int code) {
  ui::Control* control = &control_;
  EventLoop& events = form_.Services().events;
  switch (control->Kind()) {
    case ui::ControlKind::PushButton:
      if (code == BN_CLICKED)
        events.Dispatch([control] { static_cast<ui::PushButton*>(control)->UserClicked(); });
      break;
    case ui::ControlKind::CheckBox:
      if (code == BN_CLICKED)
        events.Dispatch([control] { static_cast<ui::CheckBox*>(control)->UserClicked(); });
      break;
    case ui::ControlKind::TextBox:
      if (code == EN_CHANGE) {
        const std::string text = Narrow(WindowText(Handle()));
        events.Dispatch([control, text] { static_cast<ui::TextBox*>(control)->UserEdited(text); });
      }
      break;
    case ui::ControlKind::DropDownList:
      if (code == CBN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
        events.Dispatch(
            [control, index] { static_cast<ui::DropDownList*>(control)->UserSelected(index); });
      }
      break;
    default:
      break;
  }
}

}  // namespace platform::win32
