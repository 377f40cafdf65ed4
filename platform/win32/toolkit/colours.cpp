// The colours of the form and its labels and check boxes: the model's back
// colours painted with brushes made for them. In a high-contrast theme the
// system's colours apply instead, as the theme's text colour needs them.
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

bool Win32Binding::HighContrast() const {
  if (queries_.high_contrast) return queries_.high_contrast();
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void Win32Binding::OnSystemColours(FormPeer& peer) {
  high_contrast_ = HighContrast();
  RedrawWindow(peer.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool Win32Binding::OnEraseBackground(FormPeer& peer, HDC dc) {
  if (!peer.brush.Get() || high_contrast_) return false;
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
  // A text box keeps the system's colours; in a high-contrast theme every control does.
  if (control->Kind() == ui::ControlKind::TextBox || high_contrast_) return 0;
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
