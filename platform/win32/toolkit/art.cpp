#include "platform/win32/toolkit/art.h"

#include <memory>
#include <utility>

#include "app/resource_ids.h"
#include "platform/win32/jpeg_win32.h"

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

ui::Resource ArtLibrary::Load(ui::EmbeddedArt art) const {
  if (art == ui::EmbeddedArt::Logo) {
    DecodedPicture picture = DecodeJpegResource(instance_, IDR_LOGO_JPEG);
    if (!picture.bitmap) return nullptr;
    return std::make_shared<PictureArt>(std::move(picture));
  }
  // Its small image is the notification area's icon.
  HICON big = LoadAppIcon(SM_CXICON, SM_CYICON, dpi_.SystemDpi());
  HICON small = LoadAppIcon(SM_CXSMICON, SM_CYSMICON, dpi_.SystemDpi());
  if (!big && !small) return nullptr;
  return std::make_shared<IconArt>(big, small);
}

HICON ArtLibrary::LoadAppIcon(int metric_x, int metric_y, int dpi) const {
  return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                       dpi_.Metric(metric_x, dpi), dpi_.Metric(metric_y, dpi),
                                       LR_DEFAULTCOLOR));
}

WindowIcons ArtLibrary::IconsAt(const ui::Resource& icon, int dpi) const {
  WindowIcons icons;
  const auto* art = dynamic_cast<const IconArt*>(icon.get());
  if (!art) return icons;
  if (dpi != dpi_.SystemDpi()) {
    icons.own_big.Reset(LoadAppIcon(SM_CXICON, SM_CYICON, dpi));
    icons.own_small.Reset(LoadAppIcon(SM_CXSMICON, SM_CYSMICON, dpi));
  }
  icons.big = icons.own_big ? icons.own_big.Get() : art->Big();
  icons.small = icons.own_small ? icons.own_small.Get() : art->Small();
  return icons;
}

UniqueBitmap ArtLibrary::PictureAt(const ui::Resource& picture, int dpi) const {
  const auto* art = dynamic_cast<const PictureArt*>(picture.get());
  if (!art || !art->Bitmap()) return UniqueBitmap();
  return Stretched(*art, MulDiv(art->Size().cx, dpi, kDefaultDpi),
                   MulDiv(art->Size().cy, dpi, kDefaultDpi));
}

}  // namespace platform::win32
