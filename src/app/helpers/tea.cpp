#include "app/helpers/tea.h"

namespace orvane {
namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9;
constexpr int kRounds = 32;

std::uint32_t LoadWord(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void StoreWord(std::uint32_t value, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::array<std::uint32_t, 4> KeyWords(const TeaKey& key) {
  return {LoadWord(&key[0]), LoadWord(&key[4]), LoadWord(&key[8]), LoadWord(&key[12])};
}

}  // namespace

void TeaEncipher(std::span<std::uint8_t, 8> block, const TeaKey& key) {
  auto k = KeyWords(key);
  std::uint32_t v0 = LoadWord(&block[0]);
  std::uint32_t v1 = LoadWord(&block[4]);
  std::uint32_t sum = 0;
  for (int round = 0; round < kRounds; ++round) {
    sum += kDelta;
    v0 += ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
    v1 += ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
  }
  StoreWord(v0, &block[0]);
  StoreWord(v1, &block[4]);
}

void TeaDecipher(std::span<std::uint8_t, 8> block, const TeaKey& key) {
  auto k = KeyWords(key);
  std::uint32_t v0 = LoadWord(&block[0]);
  std::uint32_t v1 = LoadWord(&block[4]);
  std::uint32_t sum = kDelta * kRounds;
  for (int round = 0; round < kRounds; ++round) {
    v1 -= ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
    v0 -= ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
    sum -= kDelta;
  }
  StoreWord(v0, &block[0]);
  StoreWord(v1, &block[4]);
}

}  // namespace orvane
