#include "platform/win32/toolkit/colours.h"

namespace platform::win32 {

Colours::Colours(bool (*high_contrast)()) : query_(high_contrast) {
  high_contrast_ = HighContrast();
}

bool Colours::HighContrast() const {
  if (query_) return query_();
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

UniqueBrush Colours::BrushOf(const std::optional<ui::Color>& color) {
  return UniqueBrush(color ? CreateSolidBrush(ToColorRef(*color)) : nullptr);
}

bool Colours::EraseBackground(HWND window, HDC dc, HBRUSH brush) const {
  if (!brush || high_contrast_) return false;
  RECT r;
  GetClientRect(window, &r);
  FillRect(dc, &r, brush);
  return true;
}

HBRUSH Colours::ControlBackground(HDC dc, const ui::Control& control, HBRUSH own,
                                  HBRUSH form_brush) const {
  // A text box keeps the system's colours; in a high-contrast theme every control does.
  if (control.Kind() == ui::ControlKind::TextBox || high_contrast_) return nullptr;
  HBRUSH brush = own ? own : form_brush;
  if (!brush) return nullptr;
  const ui::Color color = control.BackColor() ? *control.BackColor()
                                              : control.Owner().BackColor().value_or(ui::Color{});
  SetBkColor(dc, ToColorRef(color));
  SetBkMode(dc, OPAQUE);
  return brush;
}

}  // namespace platform::win32
