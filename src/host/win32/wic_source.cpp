#include "host/win32/wic_source.h"

#include <objbase.h>
#include <propidl.h>

#include <algorithm>

namespace host::win32 {

using picture::PictureFormat;

namespace {

const GUID& ContainerOf(PictureFormat format) {
  switch (format) {
    case PictureFormat::Bmp:
      return GUID_ContainerFormatBmp;
    case PictureFormat::Jpeg:
      return GUID_ContainerFormatJpeg;
    case PictureFormat::Png:
      return GUID_ContainerFormatPng;
    case PictureFormat::Gif:
      return GUID_ContainerFormatGif;
    case PictureFormat::Tiff:
      return GUID_ContainerFormatTiff;
    case PictureFormat::Ico:
    case PictureFormat::Unknown:
      break;
  }
  return GUID_ContainerFormatIco;
}

// The decoder of the format the header check found; WIC's own sniffing
// when that decoder cannot be made, and for a format the check does not
// know: the system's codecs choose by content (JPEG XR, DDS, and HEIF,
// WebP or camera raw files where their codecs are installed).
void OpenDecoder(IWICImagingFactory* factory, IWICStream* stream, PictureFormat format,
                 Com<IWICBitmapDecoder>& decoder) {
  if (format != PictureFormat::Unknown &&
      SUCCEEDED(factory->CreateDecoder(ContainerOf(format), nullptr, decoder.Put())) &&
      SUCCEEDED(decoder->Initialize(stream, WICDecodeMetadataCacheOnDemand))) {
    return;
  }
  decoder.Reset();
  LARGE_INTEGER start{};
  Check(stream->Seek(start, STREAM_SEEK_SET, nullptr));
  Check(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                         decoder.Put()));
}

// The first frame; for an icon the largest image, the first of equals.
void OpenFrame(IWICBitmapDecoder* decoder, PictureFormat format,
               Com<IWICBitmapFrameDecode>& frame) {
  UINT count = 0;
  if (FAILED(decoder->GetFrameCount(&count)) || count == 0) Fail();
  if (format != PictureFormat::Ico || count == 1) {
    Check(decoder->GetFrame(0, frame.Put()));
    return;
  }
  std::uint64_t bestArea = 0;
  UINT best = 0;
  for (UINT i = 0; i < count; ++i) {
    Com<IWICBitmapFrameDecode> candidate;
    UINT w = 0, h = 0;
    if (FAILED(decoder->GetFrame(i, candidate.Put())) || FAILED(candidate->GetSize(&w, &h))) {
      continue;
    }
    if (std::uint64_t{w} * h > bestArea) {
      bestArea = std::uint64_t{w} * h;
      best = i;
    }
  }
  Check(decoder->GetFrame(best, frame.Put()));
}

// The orientation WIC reads from the frame's metadata, 0 when it has none.
// Of a format only the system's codecs know, the photo property that their
// metadata handlers map it to.
int WicOrientation(IWICBitmapFrameDecode* frame, PictureFormat format) {
  const wchar_t* query = format == PictureFormat::Jpeg      ? L"/app1/ifd/{ushort=274}"
                         : format == PictureFormat::Tiff    ? L"/ifd/{ushort=274}"
                         : format == PictureFormat::Unknown ? L"System.Photo.Orientation"
                                                            : nullptr;
  Com<IWICMetadataQueryReader> reader;
  if (!query || FAILED(frame->GetMetadataQueryReader(reader.Put()))) return 0;
  PROPVARIANT value;
  PropVariantInit(&value);
  int orientation = 0;
  if (SUCCEEDED(reader->GetMetadataByName(query, &value)) && value.vt == VT_UI2 &&
      value.uiVal >= 1 && value.uiVal <= 8) {
    orientation = value.uiVal;
  }
  PropVariantClear(&value);
  return orientation;
}

}  // namespace

void OpenSource(std::vector<std::uint8_t>& bytes, Com<IWICImagingFactory>& factory,
                PictureFormat format, Source& source) {
  if (!factory) {
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())));
  }
  Check(factory->CreateStream(source.stream.Put()));
  Check(source.stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size())));
  OpenDecoder(factory.Get(), source.stream.Get(), format, source.decoder);
  OpenFrame(source.decoder.Get(), format, source.frame);
}

Layout LayOut(IWICBitmapFrameDecode* frame, const picture::PictureHeader& header,
              const picture::Bytes& bytes) {
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  if (!picture::WithinBudget(width, height)) Fail();
  Layout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.canvas = picture::Canvas{layout.width, layout.height, 0, 0};
  if (header.format == PictureFormat::Gif) {
    layout.canvas = picture::GifCanvas(header, layout.width, layout.height);
  }
  if (!picture::WithinBudget(layout.canvas.width, layout.canvas.height)) Fail();
  layout.placed = layout.canvas.width != layout.width || layout.canvas.height != layout.height;

  layout.orientation = WicOrientation(frame, header.format);
  if (layout.orientation == 0) layout.orientation = picture::ReadOrientation(bytes);
  if (layout.placed)
    layout.orientation = picture::kUpright;  // only GIFs are placed; they have none
  return layout;
}

}  // namespace host::win32
