// The embedded art: the logo, decoded from its JPEG resource and drawn at a
// window's DPI, and the application icon in the sizes of a window's DPI.
#pragma once

#include <windows.h>

#include "platform/win32/toolkit/dpi.h"
#include "platform/win32/unique_handles.h"
#include "ui/toolkit.h"

namespace platform::win32 {

// A window's two icons; those made for its DPI are owned here.
struct WindowIcons {
  HICON big = nullptr;
  HICON small = nullptr;
  UniqueIcon own_big;
  UniqueIcon own_small;
};

class ArtLibrary {
 public:
  ArtLibrary(HINSTANCE instance, const DpiApi& dpi) : instance_(instance), dpi_(dpi) {}

  // The logo, or the icon at the system's DPI, the notification area's; none
  // when it cannot be loaded.
  ui::Resource Load(ui::EmbeddedArt art) const;
  // The images of `icon`, loaded art, for a window at `dpi`: where that is not
  // the system's DPI, its own, so that Windows need not scale them.
  WindowIcons IconsAt(const ui::Resource& icon, int dpi) const;
  // `picture` at its own size for `dpi` (its pixels are those of 96 dpi); none
  // without a picture.
  UniqueBitmap PictureAt(const ui::Resource& picture, int dpi) const;

 private:
  HICON LoadAppIcon(int metric_x, int metric_y, int dpi) const;

  HINSTANCE instance_;
  const DpiApi& dpi_;
};

}  // namespace platform::win32
