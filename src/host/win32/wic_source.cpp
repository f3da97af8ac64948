#include "host/win32/wic_source.h"

#include <objbase.h>
#include <propidl.h>

#include <algorithm>
#include <atomic>

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

// An open file as the stream a decoder reads, where it asks.
class FileStream final : public IStream {
 public:
  FileStream(HANDLE file, std::atomic<bool>& readFailed) : file_(file), readFailed_(readFailed) {}
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  virtual ~FileStream() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_ISequentialStream) ||
                      IsEqualGUID(iid, IID_IStream)
                  ? static_cast<IStream*>(this)
                  : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG count, ULONG* read) override {
    DWORD got = 0;
    if (!ReadFile(file_, out, count, &got, nullptr)) {
      readFailed_ = true;
      return HRESULT_FROM_WIN32(GetLastError());
    }
    if (read) *read = got;
    return got == count ? S_OK : S_FALSE;
  }
  // STREAM_SEEK_SET, _CUR and _END are FILE_BEGIN, _CURRENT and _END.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    LARGE_INTEGER now;
    if (origin > STREAM_SEEK_END || !SetFilePointerEx(file_, move, &now, origin)) {
      return STG_E_INVALIDFUNCTION;
    }
    if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) return HRESULT_FROM_WIN32(GetLastError());
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    return S_OK;
  }
  // A decoder only reads.
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  HANDLE file_;  // the load's, open as long as the decoder's source
  std::atomic<bool>& readFailed_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

void OpenSource(const SourceFile& file, Com<IWICImagingFactory>& factory, PictureFormat format,
                Source& source) {
  if (!factory) {
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())));
  }
  Check(factory->CreateStream(source.stream.Put()));
  if (file.size <= file.bytes.size()) {
    Check(source.stream->InitializeFromMemory(file.bytes.data(),
                                              static_cast<DWORD>(file.bytes.size())));
  } else {
    Com<IStream> stream;
    *stream.Put() = new FileStream(file.file, file.readFailed);
    Check(source.stream->InitializeFromIStream(stream.Get()));
    LARGE_INTEGER start{};
    Check(source.stream->Seek(start, STREAM_SEEK_SET, nullptr));  // the head has been read
  }
  OpenDecoder(factory.Get(), source.stream.Get(), format, source.decoder);
  OpenFrame(source.decoder.Get(), format, source.frame);
}

picture::Layout LayOut(IWICBitmapFrameDecode* frame, const picture::PictureHeader& header,
                       const picture::Bytes& bytes) {
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  return picture::LayOut(width, height, header, bytes, WicOrientation(frame, header.format));
}

}  // namespace host::win32
