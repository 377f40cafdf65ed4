// The embedded art: the logo, decoded from its JPEG resource and drawn at the
// window's DPI, and the application icon in the sizes of the window's DPI.
#include <memory>
#include <utility>

#include "app/resource_ids.h"
#include "platform/win32/jpeg_win32.h"
#include "platform/win32/toolkit/binding.h"

namespace platform::win32 {

namespace {

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

// `art` stretched to `cx` by `cy` pixels.
UniqueBitmap Stretched(const PictureArt& art, int cx, int cy) {
  const SIZE own = art.Size();
  const UniqueWindowDc screen(nullptr);
  const UniqueMemoryDc target(CreateCompatibleDC(screen.Get()));
  const UniqueMemoryDc source(CreateCompatibleDC(screen.Get()));
  UniqueBitmap bitmap(CreateCompatibleBitmap(screen.Get(), cx, cy));
  const SelectedObject into(target.Get(), bitmap.Get());
  const SelectedObject from(source.Get(), art.Bitmap());
  SetStretchBltMode(target.Get(), HALFTONE);
  SetBrushOrgEx(target.Get(), 0, 0, nullptr);
  StretchBlt(target.Get(), 0, 0, cx, cy, source.Get(), 0, 0, own.cx, own.cy, SRCCOPY);
  return bitmap;
}

}  // namespace

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

// Draws the picture at its own size for the window's DPI (its pixels are those of
// 96 dpi), in the control's area.
void Win32Binding::RenderPicture(ui::Image& image) {
  ControlPeer* control_peer = PeerOf(image);
  const int dpi = DpiOf(image.Owner());
  const auto* art = dynamic_cast<const PictureArt*>(image.Picture().get());
  UniqueBitmap bitmap;
  if (art && art->Bitmap())
    bitmap = Stretched(*art, MulDiv(art->Size().cx, dpi, kDefaultDpi),
                       MulDiv(art->Size().cy, dpi, kDefaultDpi));
  SendMessageW(control_peer->window, STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(bitmap.Get()));
  control_peer->bitmap = std::move(bitmap);
}

}  // namespace platform::win32
