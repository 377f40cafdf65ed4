#include "platform/win32/jpeg_win32.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The decoder of stb_image, for JPEG only and from memory: the logo is our own
// file, built into the executable.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_ASSERT(x) ((void)0)
#include <stb_image.h>

namespace platform::win32 {

DecodedPicture DecodeJpeg(const void* bytes, size_t size) {
  DecodedPicture picture;
  if (size == 0 || size > INT_MAX) return picture;
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgb = stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size),
                                       &width, &height, &channels, 3);
  if (!rgb) return picture;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  picture.bitmap.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (picture.bitmap && bits) {
    auto* out = static_cast<uint8_t*>(bits);
    const stbi_uc* in = rgb;
    for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 0;
      out += 4;
      in += 3;
    }
    picture.size = {width, height};
  } else {
    picture.bitmap.Reset();
  }
  stbi_image_free(rgb);
  return picture;
}

}  // namespace platform::win32
