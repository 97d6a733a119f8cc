// What Import takes from an MPEG file's first frame header, and the MPEG Layer-3 WAVE format it
// wraps the file's bytes in. The playback engine's codec stream decodes the wrapped file; Import
// itself decodes nothing.
//
// Pure functions over a decoded header; any thread.
#pragma once

#include <cstdint>

#include "convert/mpeg_reader.h"
#include "platform/wave_format.h"

namespace bw {

struct ImportStream {
  bool jointStereo = false;
  int32_t frameLength = 0;         // bytes after the 4-byte header of the first frame
  uint32_t kbit = 16000;           // read from the bit-rate text; stays when it holds no number
  uint32_t samplesPerSec = 44100;  // read from the sample-rate text, likewise
};

// The fields of the header just parsed (the mode counts as joint stereo when its text names
// "Stereo" after its first character).
ImportStream DescribeImportStream(MpegFrameHeader& header);

// The codec stream plays 44,100 Hz streams and joint-stereo streams at the other rates.
bool IsImportable(const ImportStream& stream);

// The 30-byte MPEG Layer-3 format: always two channels, nAvgBytesPerSec kbit x 1000 / 8, the
// first frame's full length as nBlockSize, one frame per block, a codec delay of 1,393.
FormatBlock MakeImportFormat(const ImportStream& stream);

// Bytes the copy moves at a time: one second of the stream, never more than `bufferBytes`.
uint32_t ImportCopyBlockBytes(const FormatBlock& format, uint32_t bufferBytes);

}  // namespace bw
