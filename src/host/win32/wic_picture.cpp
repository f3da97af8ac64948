#include "host/win32/wic_picture.h"

#include <objbase.h>
#include <process.h>
#include <propidl.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "host/picture/channel_curves.h"
#include "host/picture/colour_profile.h"
#include "host/picture/embedded_profile.h"
#include "host/picture/header.h"
#include "host/picture/orientation.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"
#include "host/picture/samples16.h"
#include "host/runtime.h"
#include "host/win32/wic_transform.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {

using picture::HeaderVerdict;
using picture::PictureFormat;
using picture::Pixel;
using picture::PixelBuffer;

// An owned COM interface pointer.
template <class T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() { Reset(); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T** Put() {
    Reset();
    return &p_;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Why a load failed, carried from the decoding thread to the caller.
struct Failure {
  ErrorCode code;
};

[[noreturn]] void Fail(ErrorCode code = ErrorCode::InvalidPicture) { throw Failure{code}; }

void Check(HRESULT result) {
  if (result == E_OUTOFMEMORY) Fail(ErrorCode::OutOfMemory);
  if (FAILED(result)) Fail();
}

// One load, shared by the caller and the thread that does it: whichever
// lets go last frees it, so a caller that stops waiting leaves the thread
// nothing dangling.
struct Job {
  Job() : finished(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job() {
    if (finished) CloseHandle(finished);
  }
  Text path;
  SIZE showWithin{};   // the largest size it may be shown at
  bool ahead = false;  // prepared before it is needed: no hurry until waited for
  ULONGLONG begunAt = GetTickCount64();
  std::vector<std::uint8_t> bytes;  // the whole file
  std::atomic<bool> abandoned{false};
  HANDLE finished;  // set when the job has done all it will
  bool done = false;
  ErrorCode error = ErrorCode::InvalidPicture;
  PixelBuffer pixels;
  int width = 0, height = 0;                      // natural size, upright
  std::optional<picture::ColourProfile> profile;  // whose matrix the pixels still need
};

ErrorCode OpenError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ErrorCode::FileNotFound;
    default:
      return ErrorCode::InvalidPicture;
  }
}

// The whole of a regular file of at most kMaxFileBytes, or a failure.
void ReadFileBytes(Job& job) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(W(job.path), GetFileExInfoStandard, &attributes)) {
    Fail(OpenError(GetLastError()));
  }
  if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Fail();
  FileHandle file(CreateFileW(W(job.path), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) Fail(OpenError(GetLastError()));
  LARGE_INTEGER size;
  if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size)) Fail();
  if (size.QuadPart <= 0 || static_cast<std::uint64_t>(size.QuadPart) > kMaxFileBytes) Fail();
  job.bytes.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t got = 0;
  while (got < job.bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(job.bytes.size() - got, 16u << 20));
    DWORD read = 0;
    if (!ReadFile(file.Get(), job.bytes.data() + got, chunk, &read, nullptr)) Fail();
    if (read == 0) break;  // the file became shorter while we read it
    got += read;
    if (job.abandoned.load(std::memory_order_relaxed)) Fail();
  }
  job.bytes.resize(got);
}

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

struct DeepFormat {
  const GUID* guid;
  picture::Layout16 layout;
};
const DeepFormat kDeepFormats[] = {
    {&GUID_WICPixelFormat48bppRGB, {3, 0, 1, 2}},
    {&GUID_WICPixelFormat48bppBGR, {3, 2, 1, 0}},
    {&GUID_WICPixelFormat64bppRGB, {4, 0, 1, 2}},
    {&GUID_WICPixelFormat64bppRGBA, {4, 0, 1, 2, 3}},
    {&GUID_WICPixelFormat64bppBGRA, {4, 2, 1, 0, 3}},
    {&GUID_WICPixelFormat64bppPRGBA, {4, 0, 1, 2, 3, true}},
    {&GUID_WICPixelFormat64bppPBGRA, {4, 2, 1, 0, 3, true}},
    {&GUID_WICPixelFormat16bppGray, {1, 0, 0, 0}},
};

// Reads the frame a band of rows at a time as opaque pixels. The stored
// formats most pictures come in, and those with 16 bits a channel, are
// copied and widened here; the others go through WIC's converter to 32-bit
// premultiplied BGRA, which is more work a pixel.
class BandReader {
 public:
  // Each channel through the curves of `profile`, when there is one.
  BandReader(IWICImagingFactory* factory, IWICBitmapSource* frame, int width,
             const picture::ColourProfile* profile)
      : width_(width) {
    Open(factory, frame);
    if (profile) curves_ = picture::ChannelCurves(*profile, kind_ == Kind::Deep ? 16 : 8);
  }

  // The curves the rows come into linear light by.
  const picture::ChannelCurves& Curves() const { return curves_; }

  // A band of rows on its way to the reduction, in the form it is added
  // in: as stored for 24-bit and 16-bit formats, otherwise as pixels.
  struct Band {
    int rows = 0;
    std::vector<std::uint8_t> stored;
    std::vector<std::uint16_t> deep;
    PixelBuffer pixels;
  };

  // Rows [y, y + rows) into `band`, for Add.
  void Fetch(int y, int rows, Band& band) {
    band.rows = rows;
    if (kind_ == Kind::Deep) {
      ReadDeep(y, rows, band.deep);
    } else if (kind_ == Kind::Bgr24) {
      ReadStored(y, rows, 3, band.stored);
    } else {
      if (band.pixels.Height() < rows) band.pixels = PixelBuffer(width_, rows);
      ReadLevels(y, rows, band.pixels.Data());
    }
  }

  // The rows Fetch put into `band`, into `reducer`.
  void Add(const Band& band, picture::BlockReducer& reducer) const {
    if (kind_ == Kind::Deep) {
      reducer.AddRows16(band.deep.data(), band.rows,
                        static_cast<std::ptrdiff_t>(width_) * layout_.channels, layout_);
    } else if (kind_ == Kind::Bgr24) {
      reducer.AddBgrRows(band.stored.data(), band.rows, static_cast<std::ptrdiff_t>(width_) * 3);
    } else {
      reducer.AddRows({band.pixels.Data(), width_, band.rows, width_});
    }
  }

  // Rows [y, y + rows) into `out`, width pixels a row, packed, on the
  // sRGB curve.
  void Read(int y, int rows, Pixel* out) {
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (kind_ == Kind::Deep) {
      curves_.PixelsFrom16(ReadDeep(y, rows, scratch_.deep), count, layout_, out);
      return;
    }
    ReadLevels(y, rows, out);
    curves_.Encode8(out, count);
  }

 private:
  enum class Kind { Bgr24, Gray8, Bgr32, Bgra32, Pbgra32, Deep };

  // Rows [y, y + rows) of 8-bit levels as stored into `out`, as Read.
  void ReadLevels(int y, int rows, Pixel* out) {
    const WICRect rect{0, y, width_, rows};
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (kind_ == Kind::Bgr24 || kind_ == Kind::Gray8) {
      const std::uint8_t* in = ReadStored(y, rows, kind_ == Kind::Bgr24 ? 3 : 1, scratch_.stored);
      if (kind_ == Kind::Bgr24) {
        for (std::size_t i = 0; i < count; ++i, in += 3) {
          out[i] = picture::MakePixel(in[2], in[1], in[0]);
        }
      } else {
        for (std::size_t i = 0; i < count; ++i) out[i] = picture::MakePixel(in[i], in[i], in[i]);
      }
      return;
    }
    const UINT stride = static_cast<UINT>(width_) * 4;
    Check(source_->CopyPixels(&rect, stride, stride * rows, reinterpret_cast<BYTE*>(out)));
    for (std::size_t i = 0; i < count; ++i) {
      const Pixel p = out[i];
      if (p >> 24 == 0xFF) continue;
      out[i] = kind_ == Kind::Bgr32    ? p | picture::kOpaqueBlack
               : kind_ == Kind::Bgra32 ? picture::OpaqueFromStraight(p)
                                       : picture::OpaqueFromPremultiplied(p);
    }
  }

  // How the frame is read: as stored, or through WIC's converter.
  void Open(IWICImagingFactory* factory, IWICBitmapSource* frame) {
    WICPixelFormatGUID format{};
    Check(frame->GetPixelFormat(&format));
    const struct {
      const GUID* guid;
      Kind kind;
    } direct[] = {{&GUID_WICPixelFormat24bppBGR, Kind::Bgr24},
                  {&GUID_WICPixelFormat8bppGray, Kind::Gray8},
                  {&GUID_WICPixelFormat32bppBGR, Kind::Bgr32},
                  {&GUID_WICPixelFormat32bppBGRA, Kind::Bgra32},
                  {&GUID_WICPixelFormat32bppPBGRA, Kind::Pbgra32}};
    for (const auto& known : direct) {
      if (IsEqualGUID(format, *known.guid)) kind_ = known.kind;
    }
    if (const std::optional<picture::Layout16> deep = DeepLayout(format)) {
      kind_ = Kind::Deep;
      layout_ = *deep;
    }
    if (kind_) {
      frame->AddRef();
      *source_.Put() = frame;
      return;
    }
    for (auto [target, kind] : {std::pair{&GUID_WICPixelFormat32bppPBGRA, Kind::Pbgra32},
                                std::pair{&GUID_WICPixelFormat32bppBGRA, Kind::Bgra32}}) {
      Com<IWICFormatConverter> converter;
      if (SUCCEEDED(factory->CreateFormatConverter(converter.Put())) &&
          SUCCEEDED(converter->Initialize(frame, *target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                          WICBitmapPaletteTypeCustom))) {
        kind_ = kind;
        Check(converter->QueryInterface(IID_IWICBitmapSource,
                                        reinterpret_cast<void**>(source_.Put())));
        return;
      }
    }
    Fail();
  }

  // Rows [y, y + rows) as stored, `samples` a pixel, into `into`.
  template <class Sample>
  Sample* ReadStored(int y, int rows, int samples, std::vector<Sample>& into) {
    const WICRect rect{0, y, width_, rows};
    const UINT stride = static_cast<UINT>(width_ * samples * sizeof(Sample));
    into.resize(static_cast<std::size_t>(width_) * samples * rows);
    Check(source_->CopyPixels(&rect, stride, stride * rows, reinterpret_cast<BYTE*>(into.data())));
    return into.data();
  }

  // Rows [y, y + rows) of 16-bit samples as stored, made opaque, into
  // `into`.
  std::uint16_t* ReadDeep(int y, int rows, std::vector<std::uint16_t>& into) {
    std::uint16_t* samples = ReadStored(y, rows, layout_.channels, into);
    picture::CompositeOverBlack16(samples, static_cast<std::size_t>(width_) * rows, layout_);
    return samples;
  }

  Com<IWICBitmapSource> source_;
  std::optional<Kind> kind_;
  picture::Layout16 layout_;
  int width_;
  Band scratch_;  // what Read reads into before it widens
  picture::ChannelCurves curves_;
};

// A frame as its decoder gives it reduced to width x height, read as any
// other source.
class ScaledSource final : public IWICBitmapSource {
 public:
  ScaledSource(IWICBitmapSourceTransform* transform, IWICBitmapSource* frame, SIZE size)
      : transform_(transform), frame_(frame), size_(size) {
    Check(frame->GetPixelFormat(&format_));
    Check(transform->GetClosestPixelFormat(&format_));
  }
  ScaledSource(const ScaledSource&) = delete;
  ScaledSource& operator=(const ScaledSource&) = delete;
  virtual ~ScaledSource() = default;

  // Lives on the stack of the read: the references are not counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWICBitmapSource)
                  ? static_cast<IWICBitmapSource*>(this)
                  : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    if (!width || !height) return E_INVALIDARG;
    *width = static_cast<UINT>(size_.cx);
    *height = static_cast<UINT>(size_.cy);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    if (!format) return E_INVALIDARG;
    *format = format_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    return frame_->GetResolution(x, y);
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override {
    return frame_->CopyPalette(palette);
  }
  // Rows in any other format than the one promised would be read wrongly.
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize,
                                       BYTE* buffer) override {
    WICPixelFormatGUID format = format_;
    const HRESULT result =
        transform_->CopyPixels(rect, static_cast<UINT>(size_.cx), static_cast<UINT>(size_.cy),
                               &format, WICBitmapTransformRotate0, stride, bufferSize, buffer);
    if (SUCCEEDED(result) && !IsEqualGUID(format, format_)) {
      return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    return result;
  }

 private:
  IWICBitmapSourceTransform* transform_;
  IWICBitmapSource* frame_;
  SIZE size_;
  WICPixelFormatGUID format_{};
};

// The smallest size the decoder can give, of those it offers, that still
// covers `wanted` on both axes; `full` when it offers none smaller. It is
// asked about the wanted size and about halves, quarters and eighths, the
// sizes decoders reduce to.
SIZE ClosestCoveringSize(IWICBitmapSourceTransform* transform, SIZE full, SIZE wanted) {
  SIZE best = full;
  const auto consider = [&](LONG width, LONG height) {
    UINT w = static_cast<UINT>(width), h = static_cast<UINT>(height);
    if (FAILED(transform->GetClosestSize(&w, &h))) return;
    const LONG cx = static_cast<LONG>(w), cy = static_cast<LONG>(h);
    if (cx >= wanted.cx && cy >= wanted.cy && cx <= full.cx && cy <= full.cy &&
        std::int64_t{cx} * cy < std::int64_t{best.cx} * best.cy) {
      best = SIZE{cx, cy};
    }
  };
  consider(wanted.cx, wanted.cy);
  for (LONG divisor : {2, 4, 8}) {
    consider((full.cx + divisor - 1) / divisor, (full.cy + divisor - 1) / divisor);
  }
  return best;
}

// The size a width x height frame takes fitted within `screen`, turned by
// `orientation`, rounded up; never larger than the frame.
SIZE ShownSize(int width, int height, int orientation, SIZE screen) {
  const bool swap = picture::SwapsAxes(orientation);
  const double boxWidth = swap ? screen.cy : screen.cx;
  const double boxHeight = swap ? screen.cx : screen.cy;
  const double scale = std::min({1.0, boxWidth / width, boxHeight / height});
  return SIZE{static_cast<LONG>(std::ceil(width * scale - 1e-9)),
              static_cast<LONG>(std::ceil(height * scale - 1e-9))};
}

// How many threads the scaling work is shared among: the processors, up
// to 4; only the calling thread when it works in the background, since
// helpers of its own would run at the normal priority and compete with
// the interface.
int Processors() {
  if (GetThreadPriority(GetCurrentThread()) < THREAD_PRIORITY_NORMAL) return 1;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  return std::clamp<int>(static_cast<int>(system.dwNumberOfProcessors), 1, 4);
}

// Where the decoded frame goes: a GIF's first frame may cover only part of
// its logical screen, and is shown there, on black. Where it lies comes
// from our own reading of the header (WIC's metadata readers would tell the
// same, more slowly).
struct Canvas {
  int width = 0, height = 0;  // before turning upright
  int left = 0, top = 0;      // of the frame
};

Canvas GifCanvas(const picture::PictureHeader& header, int width, int height) {
  Canvas canvas;
  canvas.left = static_cast<int>(header.frameLeft);
  canvas.top = static_cast<int>(header.frameTop);
  canvas.width = std::max(static_cast<int>(header.width), canvas.left + width);
  canvas.height = std::max(static_cast<int>(header.height), canvas.top + height);
  return canvas;
}

// The decoder over the file's bytes and the frame it gives; released frame
// first, stream last.
struct Source {
  Com<IWICStream> stream;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
};

void OpenSource(Job& job, Com<IWICImagingFactory>& factory, PictureFormat format, Source& source) {
  if (!factory) {
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())));
  }
  Check(factory->CreateStream(source.stream.Put()));
  Check(
      source.stream->InitializeFromMemory(job.bytes.data(), static_cast<DWORD>(job.bytes.size())));
  OpenDecoder(factory.Get(), source.stream.Get(), format, source.decoder);
  OpenFrame(source.decoder.Get(), format, source.frame);
}

// The frame as stored, the canvas it goes on and how it is turned upright.
struct Layout {
  int width = 0, height = 0;  // of the frame
  Canvas canvas;
  bool placed = false;  // on a canvas larger than the frame
  int orientation = picture::kUpright;
};

Layout LayOut(IWICBitmapFrameDecode* frame, const picture::PictureHeader& header,
              const picture::Bytes& bytes) {
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  if (!picture::WithinBudget(width, height)) Fail();
  Layout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.canvas = Canvas{layout.width, layout.height, 0, 0};
  if (header.format == PictureFormat::Gif) {
    layout.canvas = GifCanvas(header, layout.width, layout.height);
  }
  if (!picture::WithinBudget(layout.canvas.width, layout.canvas.height)) Fail();
  layout.placed = layout.canvas.width != layout.width || layout.canvas.height != layout.height;

  layout.orientation = WicOrientation(frame, header.format);
  if (layout.orientation == 0) layout.orientation = picture::ReadOrientation(bytes);
  if (layout.placed)
    layout.orientation = picture::kUpright;  // only GIFs are placed; they have none
  return layout;
}

// Rows a band at a time, averaged down by `factor` as they come, then
// turned upright.
PixelBuffer ReadReduced(const std::atomic<bool>& abandoned, BandReader& reader,
                        const Layout& layout, int factor, int band) {
  BandReader::Band rows;
  picture::BlockReducer reducer(layout.width, layout.height, factor, Processors(), reader.Curves());
  for (int y = 0; y < layout.height; y += band) {
    if (abandoned.load(std::memory_order_relaxed)) Fail();
    reader.Fetch(y, std::min(band, layout.height - y), rows);
    reader.Add(rows, reducer);
  }
  PixelBuffer reduced = reducer.Finish();
  return layout.orientation == picture::kUpright
             ? std::move(reduced)
             : picture::Orient(reduced.View(), layout.orientation);
}

// Rows a band at a time at their full size: straight into place when the
// picture is kept as it is stored, otherwise through a band buffer onto the
// canvas or turned upright.
PixelBuffer ReadFullSize(const std::atomic<bool>& abandoned, BandReader& reader,
                         const Layout& layout, int band) {
  const int w = layout.width, h = layout.height;
  const bool direct = layout.orientation == picture::kUpright && !layout.placed;
  PixelBuffer buffer;
  if (!direct) buffer = PixelBuffer(w, band);
  const bool swap = picture::SwapsAxes(layout.orientation);
  PixelBuffer upright(swap ? layout.canvas.height : layout.canvas.width,
                      swap ? layout.canvas.width : layout.canvas.height);
  if (layout.placed) upright.Fill(picture::kOpaqueBlack);
  for (int y = 0; y < h; y += band) {
    if (abandoned.load(std::memory_order_relaxed)) Fail();
    const int rows = std::min(band, h - y);
    reader.Read(y, rows, direct ? upright.Row(y) : buffer.Data());
    if (layout.placed) {
      for (int k = 0; k < rows; ++k) {
        std::copy_n(buffer.Row(k), w, upright.Row(layout.canvas.top + y + k) + layout.canvas.left);
      }
    } else if (!direct) {
      picture::PlaceRows({buffer.Data(), w, rows, w}, y, h, layout.orientation, upright.Target());
    }
  }
  return upright;
}

// The pixels of `source` as laid out, kept no larger than the picture
// needs to be shown fitted within `screen`. Bands of about 1 MiB unless
// `band` says otherwise.
PixelBuffer ReadPixels(IWICImagingFactory* factory, IWICBitmapSource* source, const Layout& layout,
                       SIZE screen, const std::atomic<bool>& abandoned,
                       const picture::ColourProfile* profile = nullptr, int band = 0) {
  BandReader reader(factory, source, layout.width, profile);
  const bool swap = picture::SwapsAxes(layout.orientation);
  const int factor = layout.placed ? 1
                                   : picture::PrescaleFactor(swap ? layout.height : layout.width,
                                                             swap ? layout.width : layout.height,
                                                             screen.cx, screen.cy);
  if (band <= 0) {
    band = std::clamp(static_cast<int>((1u << 20) / (static_cast<unsigned>(layout.width) * 4)), 1,
                      layout.height);
  }
  return factor > 1 ? ReadReduced(abandoned, reader, layout, factor, band)
                    : ReadFullSize(abandoned, reader, layout, band);
}

// The profile bytes the codec gives for the frame (PNG's and TIFF's
// decoders do), empty when it gives none.
std::vector<std::uint8_t> CodecProfileBytes(IWICImagingFactory* factory,
                                            IWICBitmapFrameDecode* frame) {
  UINT count = 0;
  if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return {};
  count = std::min(count, 8u);
  std::vector<Com<IWICColorContext>> contexts(count);
  std::vector<IWICColorContext*> pointers;
  for (Com<IWICColorContext>& context : contexts) {
    if (FAILED(factory->CreateColorContext(context.Put()))) return {};
    pointers.push_back(context.Get());
  }
  UINT given = 0;
  if (FAILED(frame->GetColorContexts(count, pointers.data(), &given))) return {};
  std::vector<std::uint8_t> bytes;
  for (UINT i = 0; i < std::min(given, count); ++i) {
    WICColorContextType type{};
    UINT size = 0;
    if (FAILED(pointers[i]->GetType(&type)) || type != WICColorContextProfile ||
        FAILED(pointers[i]->GetProfileBytes(0, nullptr, &size)) || size == 0 ||
        size > picture::kMaxProfileBytes) {
      continue;
    }
    bytes.resize(size);
    if (SUCCEEDED(pointers[i]->GetProfileBytes(size, bytes.data(), &size))) {
      bytes.resize(std::min<std::size_t>(size, bytes.size()));
      return bytes;
    }
  }
  return {};
}

bool IsGreyFormat(const WICPixelFormatGUID& format) {
  for (const GUID* grey :
       {&GUID_WICPixelFormatBlackWhite, &GUID_WICPixelFormat2bppGray, &GUID_WICPixelFormat4bppGray,
        &GUID_WICPixelFormat8bppGray, &GUID_WICPixelFormat16bppGray}) {
    if (IsEqualGUID(format, *grey)) return true;
  }
  return false;
}

// The embedded profile the picture's colours are shown through; none when
// it has none, an sRGB one, or one that we cannot apply or that is not of
// its colour space: then it is shown as if untagged.
std::optional<picture::ColourProfile> PictureProfile(IWICImagingFactory* factory,
                                                     IWICBitmapFrameDecode* frame,
                                                     picture::Bytes file) {
  try {
    std::vector<std::uint8_t> icc = CodecProfileBytes(factory, frame);
    if (icc.empty()) icc = picture::ReadEmbeddedProfile(file);
    if (icc.empty()) return std::nullopt;
    std::optional<picture::ColourProfile> profile = picture::ColourProfile::Parse(icc);
    WICPixelFormatGUID format{};
    if (!profile || profile->IsSrgbEquivalent() || FAILED(frame->GetPixelFormat(&format))) {
      return std::nullopt;
    }
    const auto space = IsGreyFormat(format) ? picture::ColourProfile::Space::Grey
                                            : picture::ColourProfile::Space::Rgb;
    if (profile->ColourSpace() != space) return std::nullopt;
    return profile;
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // the picture still shows, as if untagged
  }
}

void Decode(Job& job, Com<IWICImagingFactory>& factory) {
  const picture::Bytes bytes(job.bytes.data(), job.bytes.size());
  picture::PictureHeader header;
  // A format the check does not know still has its size held to the budget,
  // from its frame, before any pixel is read (LayOut).
  const HeaderVerdict verdict = picture::CheckPictureHeader(bytes, header);
  if (verdict != HeaderVerdict::Ok && verdict != HeaderVerdict::UnknownFormat) Fail();

  Source source;
  OpenSource(job, factory, header.format, source);
  const Layout layout = LayOut(source.frame.Get(), header, bytes);
  const bool swap = picture::SwapsAxes(layout.orientation);
  job.width = swap ? layout.canvas.height : layout.canvas.width;
  job.height = swap ? layout.canvas.width : layout.canvas.height;
  const std::optional<picture::ColourProfile> profile =
      PictureProfile(factory.Get(), source.frame.Get(), bytes);
  const picture::ColourProfile* curves = profile ? &*profile : nullptr;
  job.pixels = layout.placed
                   ? ReadPixels(factory.Get(), source.frame.Get(), layout, job.showWithin,
                                job.abandoned, curves)
                   : ReadFramePixels(factory.Get(), source.frame.Get(), layout.orientation,
                                     job.showWithin, &job.abandoned, curves);
  // A grey profile's matrix takes grey to the same grey: only its curve
  // counts, and that is applied already.
  if (profile && profile->ColourSpace() == picture::ColourProfile::Space::Rgb) {
    job.profile = profile;
  }
}

void Work(Job& job, Com<IWICImagingFactory>& factory) {
  try {
    ReadFileBytes(job);
    Decode(job, factory);
    job.done = true;
  } catch (const Failure& failure) {
    job.error = failure.code;
  } catch (const std::bad_alloc&) {
    job.error = ErrorCode::OutOfMemory;
  } catch (...) {
    job.error = ErrorCode::InvalidPicture;
  }
  job.bytes = {};  // the file's bytes go as soon as they are no longer needed
}

// The thread that loads pictures, one job at a time, with its own COM
// apartment and imaging factory. It lives as long as the process, unless a
// job overruns: then it is retired, goes when that job ends (if ever), and
// the next load starts a new one.
class Worker {
 public:
  static std::shared_ptr<Worker> Start() {
    auto worker = std::shared_ptr<Worker>(new Worker());
    if (!worker->wake_) return nullptr;
    auto* parameter = new std::shared_ptr<Worker>(worker);
    worker->thread_ =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, parameter, 0, nullptr));
    if (!worker->thread_) {
      delete parameter;
      return nullptr;
    }
    return worker;
  }

  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    if (thread_) CloseHandle(thread_);
    if (wake_) CloseHandle(wake_);
    DeleteCriticalSection(&lock_);
  }

  void Post(std::shared_ptr<Job> job) {
    EnterCriticalSection(&lock_);
    pending_ = std::move(job);
    LeaveCriticalSection(&lock_);
    SetEvent(wake_);
  }

  void Retire() {
    EnterCriticalSection(&lock_);
    retired_ = true;
    LeaveCriticalSection(&lock_);
    SetEvent(wake_);
  }

  // Someone waits for the job now: it runs at the normal priority, up to
  // its end (the worker sets the priority for each job under the lock).
  void Hurry(Job& job) {
    EnterCriticalSection(&lock_);
    job.ahead = false;
    SetThreadPriority(thread_, THREAD_PRIORITY_NORMAL);
    LeaveCriticalSection(&lock_);
  }

 private:
  Worker() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    InitializeCriticalSection(&lock_);
  }

  static unsigned __stdcall Main(void* parameter) {
    std::shared_ptr<Worker> self = std::move(*static_cast<std::shared_ptr<Worker>*>(parameter));
    delete static_cast<std::shared_ptr<Worker>*>(parameter);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      Com<IWICImagingFactory> factory;
      for (;;) {
        WaitForSingleObject(self->wake_, INFINITE);
        EnterCriticalSection(&self->lock_);
        std::shared_ptr<Job> job = std::move(self->pending_);
        const bool retired = self->retired_;
        // A preparation gives way to everything else on the machine.
        SetThreadPriority(GetCurrentThread(),
                          job && job->ahead ? THREAD_PRIORITY_IDLE : THREAD_PRIORITY_NORMAL);
        LeaveCriticalSection(&self->lock_);
        if (job) {
          Work(*job, factory);
          SetEvent(job->finished);
        }
        if (retired) break;
      }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
  }

  HANDLE thread_ = nullptr;
  HANDLE wake_;
  CRITICAL_SECTION lock_;
  std::shared_ptr<Job> pending_;
  bool retired_ = false;
};

// The worker that takes the next load: started on first use, replaced once
// a load is given up on it.
std::shared_ptr<Worker>& CurrentWorker() {
  static std::shared_ptr<Worker> worker;
  return worker;
}

// A load as the toolkit sees it. Its job is shared with the worker thread;
// whichever lets go last frees the file's bytes and the pixels.
class WicLoad final : public PictureLoad {
 public:
  WicLoad(std::shared_ptr<Job> job, std::shared_ptr<Worker> worker)
      : job_(std::move(job)), worker_(std::move(worker)) {}
  bool Finished() override { return WaitForSingleObject(job_->finished, 0) == WAIT_OBJECT_0; }
  Picture Result() override {
    if (!job_->done) throw RuntimeError(job_->error);
    return std::make_shared<WicPicture>(std::move(job_->pixels), job_->width, job_->height,
                                        std::move(job_->profile));
  }
  void GiveUp() override {
    job_->abandoned = true;
    if (!worker_) return;
    worker_->Retire();
    if (CurrentWorker() == worker_) CurrentWorker().reset();
  }
  std::uint64_t MsSinceBegun() override { return GetTickCount64() - job_->begunAt; }
  void Hurry() {
    if (worker_) worker_->Hurry(*job_);
  }
  HANDLE FinishedEvent() const { return job_->finished; }

 private:
  std::shared_ptr<Job> job_;
  std::shared_ptr<Worker> worker_;
};

}  // namespace

namespace {

// The frame as the decoder reduces it to `size`, then as any other.
PixelBuffer ReadReducedByDecoder(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                                 IWICBitmapSourceTransform* transform, const Layout& layout,
                                 SIZE size, SIZE screen, const std::atomic<bool>& stop,
                                 const picture::ColourProfile* profile) {
  ScaledSource scaled(transform, frame, size);
  Layout reduced = layout;
  reduced.width = reduced.canvas.width = size.cx;
  reduced.height = reduced.canvas.height = size.cy;
  // In one piece: a decoder that reduces need not be able to restart
  // mid-picture cheaply, and the reduced copy is small.
  return ReadPixels(factory, &scaled, reduced, screen, stop, profile, reduced.height);
}

}  // namespace

std::optional<picture::Layout16> DeepLayout(const WICPixelFormatGUID& format) {
  for (const DeepFormat& deep : kDeepFormats) {
    if (IsEqualGUID(format, *deep.guid)) return deep.layout;
  }
  return std::nullopt;
}

PixelBuffer ReadFramePixels(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                            int orientation, SIZE screen, const std::atomic<bool>* abandoned,
                            const picture::ColourProfile* profile) {
  static const std::atomic<bool> kNever{false};
  const std::atomic<bool>& stop = abandoned ? *abandoned : kNever;
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  Layout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.canvas = Canvas{layout.width, layout.height, 0, 0};
  layout.orientation = orientation;
  Com<IWICBitmapSourceTransform> transform;
  const bool screenKnown = screen.cx > 0 && screen.cy > 0;
  if (screenKnown && SUCCEEDED(frame->QueryInterface(kIidBitmapSourceTransform,
                                                     reinterpret_cast<void**>(transform.Put())))) {
    const SIZE full{layout.width, layout.height};
    const SIZE size = ClosestCoveringSize(
        transform.Get(), full, ShownSize(layout.width, layout.height, orientation, screen));
    if (size.cx != full.cx || size.cy != full.cy) {
      try {
        return ReadReducedByDecoder(factory, frame, transform.Get(), layout, size, screen, stop,
                                    profile);
      } catch (const Failure&) {
        if (stop.load(std::memory_order_relaxed)) throw;
        // The codec could not reduce after all: it still decodes at full size.
      }
    }
  }
  return ReadPixels(factory, frame, layout, screen, stop, profile);
}

std::optional<FileStamp> PictureFileStamp(const Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &attributes)) return std::nullopt;
  auto wide = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
  return FileStamp{
      wide(attributes.nFileSizeHigh, attributes.nFileSizeLow),
      wide(attributes.ftLastWriteTime.dwHighDateTime, attributes.ftLastWriteTime.dwLowDateTime)};
}

std::shared_ptr<PictureLoad> BeginPictureLoad(const Text& path, SIZE showWithin, bool ahead) {
  auto job = std::make_shared<Job>();
  job->path = path;
  job->showWithin = showWithin;
  job->ahead = ahead;
  if (!job->finished) throw RuntimeError(ErrorCode::OutOfMemory, "no event for the load");
  std::shared_ptr<Worker>& worker = CurrentWorker();
  if (!worker) worker = Worker::Start();
  if (!worker) {
    // No thread to be had (stuck decodes may hold the address space): a
    // decode here would have neither the time limit nor the input check.
    job->error = ErrorCode::OutOfMemory;
    SetEvent(job->finished);
  } else {
    worker->Post(job);
  }
  return std::make_shared<WicLoad>(std::move(job), worker);
}

HANDLE LoadFinishedEvent(const PictureLoad& load) {
  return static_cast<const WicLoad&>(load).FinishedEvent();
}

void HurryLoad(PictureLoad& load) { static_cast<WicLoad&>(load).Hurry(); }

Picture LoadPictureFile(const Text& path, SIZE showWithin) {
  const std::shared_ptr<PictureLoad> load = BeginPictureLoad(path, showWithin);
  WaitForSingleObject(LoadFinishedEvent(*load), INFINITE);
  return load->Result();
}

HBITMAP RenderPictureBitmap(const PictureData& data, int width, int height) {
  const auto* wic = dynamic_cast<const WicPicture*>(&data);
  if (!wic || wic->Pixels().Empty() || width <= 0 || height <= 0) return nullptr;
  if (std::uint64_t{4} * width * height > (std::uint64_t{256} << 20)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first, as in the buffer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const PixelBuffer& pixels = wic->Pixels();
  const picture::PixelTarget target{static_cast<Pixel*>(bits), width, height, width};
  try {
    if (width == pixels.Width() && height == pixels.Height() && !wic->Profile()) {
      std::memcpy(bits, pixels.Data(), pixels.ByteCount());
    } else {
      // A large reduction is shared out among the processors (up to 4).
      const bool large = pixels.PixelCount() >= (1u << 20) && width * height >= (1 << 16);
      picture::Resample(pixels.View(), target, large ? Processors() : 1, wic->Profile());
    }
  } catch (const std::exception&) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace host::win32
