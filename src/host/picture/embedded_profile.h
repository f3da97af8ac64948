// The ICC colour profile a picture file carries, as bytes, found by our own
// readers of the file's structure. What the bytes mean is colour_profile.h's
// business; here they are only found and put together.
//
// PNG keeps its profile zlib-compressed in an iCCP chunk. The PNG codecs of
// Windows and Wine both give it through the frame's colour context, so
// there is no reader of ours for PNG: ReadEmbeddedProfile finds nothing in
// one, and the caller asks the codec instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/picture/bytes.h"

namespace host::picture {

// The largest profile we take. Matrix/TRC profiles are a few hundred bytes
// to a few KiB; even lookup-table ones stay well under this. A file that
// claims more is refused rather than trusted with a large allocation.
inline constexpr std::size_t kMaxProfileBytes = std::size_t{4} << 20;

// The profile of a JPEG: the payloads of its APP2 "ICC_PROFILE" segments
// before the first scan, joined in the order of their sequence numbers.
// Empty when there is none, or when the segments do not add up: a chunk
// missing or given twice, sequence numbers or counts that disagree, or more
// than kMaxProfileBytes in all.
std::vector<std::uint8_t> ReadJpegProfile(Bytes jpeg);

// The profile of a TIFF: the value of tag 34675 (InterColorProfile) in the
// first IFD, of type BYTE or UNDEFINED. Empty when there is none, it lies
// outside the bytes or it is over kMaxProfileBytes.
std::vector<std::uint8_t> ReadTiffProfile(Bytes tiff);

// One of the above, chosen by the file's content; empty for any other
// format (PNG: see above). Safe for any bytes.
std::vector<std::uint8_t> ReadEmbeddedProfile(Bytes file);

}  // namespace host::picture
