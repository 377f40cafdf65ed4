// The backgrounds of the forms and their labels and check boxes: the model's
// colours painted with brushes made for them. In a high-contrast theme the
// system's colours apply instead, as the theme's text colour needs them.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/win32/unique_handles.h"
#include "ui/toolkit.h"

namespace platform::win32 {

inline COLORREF ToColorRef(ui::Color c) { return RGB(c.r, c.g, c.b); }

class Colours {
 public:
  // `high_contrast`: a test's stand-in for the system's setting.
  explicit Colours(bool (*high_contrast)());

  // A brush of the model's colour; none without one.
  static UniqueBrush BrushOf(const std::optional<ui::Color>& color);
  // The system's colours or its high-contrast setting changed.
  void Refresh() { high_contrast_ = HighContrast(); }
  // Paints the client area of `window` with `brush`; false where the system's
  // colours apply.
  bool EraseBackground(HWND window, HDC dc, HBRUSH brush) const;
  // The background of `control`: its own brush, else its form's, with `dc` set
  // for that colour; null where the system's colours apply.
  HBRUSH ControlBackground(HDC dc, const ui::Control& control, HBRUSH own, HBRUSH form_brush) const;

 private:
  bool HighContrast() const;

  bool (*query_)();
  // A high-contrast theme is on: the system's colours replace the model's.
  bool high_contrast_ = false;
};

}  // namespace platform::win32
