// CRC-32 with the reflected polynomial 0xEDB88320, as zip, gzip and PNG use it.
//
// FlUpdateCrc32 advances the raw register: a checksum starts with kFlCrc32Initial and the
// result is the complement of the final register.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kFlCrc32Initial = 0xFFFFFFFFu;

// Uses carry-less multiplication when the processor has it, the tables otherwise.
uint32_t FlUpdateCrc32(uint32_t crc, const uint8_t* data, size_t length);
// The same by tables only, on every processor.
uint32_t FlUpdateCrc32Tables(uint32_t crc, const uint8_t* data, size_t length);
// Whether FlUpdateCrc32 takes the carry-less multiplication path here.
bool FlCrc32Carryless();
