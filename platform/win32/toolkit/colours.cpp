// The colours of the form and its labels and check boxes: the model's back
// colours painted with brushes made for them.
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

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
  ControlPeer* control_peer = PeerOf(*control);
  HBRUSH brush = control_peer->brush.Get() ? control_peer->brush.Get() : peer.brush.Get();
  if (!brush) return 0;
  const ui::Color color =
      control->BackColor() ? *control->BackColor() : peer.form->BackColor().value_or(ui::Color{});
  SetBkColor(dc, ToColorRef(color));
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(brush);
}

}  // namespace platform::win32
