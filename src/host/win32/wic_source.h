// The first step of a load: WIC's decoder over the file's bytes, its first
// frame (for an icon, the largest image), and what WIC says of its layout.
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "host/picture/bytes.h"
#include "host/picture/header.h"
#include "host/picture/pipeline.h"
#include "host/win32/wic_common.h"

namespace host::win32 {

// The decoder over the file's bytes and the frame it gives; released frame
// first, stream last.
struct Source {
  Com<IWICStream> stream;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
};

// A file as a load has it: its bytes, whole or the head, and while the
// decoder still needs the rest, the open file. `readFailed` is set when a
// read from the file fails (a network error, say) rather than the bytes.
struct SourceFile {
  std::vector<std::uint8_t>& bytes;
  HANDLE file;
  std::uint64_t size;
  std::atomic<bool>& readFailed;
};

// Opens the picture as the format the header check found, making the
// factory first when there is none yet: from the bytes when they are the
// whole file, otherwise from the file itself, read where the decoder
// asks. What `file` refers to must outlive `source`.
void OpenSource(const SourceFile& file, Com<IWICImagingFactory>& factory,
                picture::PictureFormat format, Source& source);

// The layout of `frame` (host/picture/pipeline.h), held to the memory
// budget; its orientation from WIC's metadata, else from our own reading of
// `bytes`.
picture::Layout LayOut(IWICBitmapFrameDecode* frame, const picture::PictureHeader& header,
                       const picture::Bytes& bytes);

}  // namespace host::win32
