// The Tiny Encryption Algorithm on one 8-byte block: 32 rounds, delta 0x9E3779B9. The block is
// read as two little-endian 32-bit words and the 16-byte key as four.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace orvane {

using TeaKey = std::array<std::uint8_t, 16>;

void TeaEncipher(std::span<std::uint8_t, 8> block, const TeaKey& key);
void TeaDecipher(std::span<std::uint8_t, 8> block, const TeaKey& key);

}  // namespace orvane
