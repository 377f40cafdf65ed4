// The embedded logo, decoded in the process: no OLE automation or imaging
// codecs to load before the window shows.
#pragma once

#include <cstddef>

#include "platform/win32/unique_handles.h"

namespace platform::win32 {

struct DecodedPicture {
  UniqueBitmap bitmap;  // a 32-bit DIB section, top-down
  SIZE size{};
};

// An empty bitmap when the bytes are no JPEG it can read.
DecodedPicture DecodeJpeg(const void* bytes, size_t size);

}  // namespace platform::win32
