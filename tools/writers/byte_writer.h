// Little-endian values appended to a byte buffer: the file builders' one
// way of writing BMP, ICO and XM headers.
#pragma once

#include <cstdint>
#include <vector>

inline void PutLe8(std::vector<uint8_t>& out, uint32_t value) { out.push_back(static_cast<uint8_t>(value)); }

inline void PutLe16(std::vector<uint8_t>& out, uint32_t value) {
    PutLe8(out, value);
    PutLe8(out, value >> 8);
}

inline void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}
