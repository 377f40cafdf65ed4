// Per-monitor DPI for a form: its size and place for its monitor's scale, and
// its layout anew from its twips when that scale changes.
#pragma once

#include <windows.h>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_platform.h"

namespace ui {
class Form;
}

namespace platform::win32 {

class DpiApi;
class FormWindow;

// The outer size of a form's window at `dpi`, from its client area in twips.
SIZE FormOuterSize(const DpiApi& api, const ui::Form& form, int dpi);

// The DPI a form is laid out for, with the font and the window icons made for it.
class FormLayout {
 public:
  // At the DPI of the primary monitor, before the window is made.
  explicit FormLayout(FormWindow& form);

  int Dpi() const { return dpi_; }
  HFONT Font() const { return font_.Get(); }
  // The outer size of the form's window at `dpi`.
  SIZE OuterSize(int dpi) const;

  // Lays the form out for `dpi` from its twips: controls, fonts, logo and icons.
  void Apply(int dpi);
  // Lays the form out again, at its size and centred, when its window's DPI is
  // not the one it was laid out for: a window made on a monitor whose scale is
  // not the system's gets no WM_DPICHANGED, nor one whose scale changed while
  // it was hidden.
  void FollowWindowDpi();
  void OnDpiChanged(int dpi, const RECT& suggested);
  // Where the frame does not grow with the DPI as assumed (Windows 8.1, Wine),
  // the window is made to fit its client area exactly, about the same centre.
  void FitClientArea();
  // The window icons of the form's icon, for the window's DPI.
  void SetWindowIcons();

 private:
  // The place a minimised window comes back to, `rect` in screen coordinates.
  void SetNormalRect(const RECT& rect);
  WorkAreaOffset WorkAreaOffsetOf() const;

  FormWindow& form_;
  int dpi_;
  UniqueFont font_;
  UniqueIcon big_icon_;
  UniqueIcon small_icon_;
};

}  // namespace platform::win32
