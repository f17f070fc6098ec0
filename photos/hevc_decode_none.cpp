// Where no HEVC decoder is built in, no join of a HEIF photo's pieces can be judged.
#include "photos/hevc_decode.h"

namespace kelvara {

HevcDecode DecodeHevcPictures(ByteSource&, std::uint64_t) { return HevcDecode::Unjudged; }

}  // namespace kelvara
