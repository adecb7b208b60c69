// Helpers shared by the sources of the PNG unit (not part of its interface).
#pragma once

#include "classlib/Streams.h"

#include <cstdint>

namespace png {

// Reads exactly count bytes; false when the stream ends first.
bool ReadExact(TStream& stream, void* buffer, uint32_t count);
uint32_t ReadBE32(const uint8_t* p);
void WriteBE32(uint8_t* p, uint32_t value);
// Raises EPngUnexpectedEnd unless a chunk of length bytes (and its CRC) fits in what the
// stream still holds and within the format's limit; called before anything is allocated.
void CheckChunkLength(TStream& stream, uint32_t length);
// Writes one chunk: length, type, data, CRC.
void WriteChunkBytes(TStream& stream, const char* type, const uint8_t* data, uint32_t size);
// Bits per pixel of the bitmap that holds an image of this colour type and bit depth.
uint16_t BitmapBitCount(uint8_t colorType, uint8_t bitDepth);
// Whether the format allows the pair.
bool ValidDepth(uint8_t colorType, uint8_t bitDepth);
// Bytes of one PNG row of width pixels (without the filter byte), and per complete pixel.
uint64_t PngRowBytes(uint8_t colorType, uint8_t bitDepth, uint64_t width);
uint32_t PngPixelBytes(uint8_t colorType, uint8_t bitDepth);

}  // namespace png
