#include "host/win32/wic_colour.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "host/picture/embedded_profile.h"
#include "host/picture/pipeline.h"
#include "host/win32/wic_common.h"

namespace host::win32 {

namespace {

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

}  // namespace

std::optional<picture::ColourProfile> PictureProfile(IWICImagingFactory* factory,
                                                     IWICBitmapFrameDecode* frame,
                                                     picture::Bytes file) {
  WICPixelFormatGUID format{};
  try {
    std::vector<std::uint8_t> icc = CodecProfileBytes(factory, frame);
    if (FAILED(frame->GetPixelFormat(&format))) return std::nullopt;
    return picture::ChooseProfile(std::move(icc), file, IsGreyFormat(format));
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // the picture still shows, as if untagged
  }
}

}  // namespace host::win32
