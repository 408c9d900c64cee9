#include "app/helpers/md5.h"

#include <algorithm>
#include <bit>

namespace orvane {
namespace {

// T[i] = floor(2^32 * |sin(i + 1)|).
constexpr std::array<std::uint32_t, 64> kSineTable = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left rotations, four per round.
constexpr std::array<int, 16> kShifts = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

}  // namespace

void Md5::Update(std::string_view bytes) {
  auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t size = bytes.size();
  totalSize_ += size;

  if (pendingSize_ > 0) {
    std::size_t taken = std::min(size, pending_.size() - pendingSize_);
    std::copy_n(data, taken, pending_.begin() + pendingSize_);
    pendingSize_ += taken;
    data += taken;
    size -= taken;
    if (pendingSize_ < pending_.size()) return;
    Transform(pending_.data());
    pendingSize_ = 0;
  }
  for (; size >= 64; data += 64, size -= 64) Transform(data);
  std::copy_n(data, size, pending_.begin());
  pendingSize_ = size;
}

Md5::Digest Md5::Finish() {
  std::uint64_t bitLength = totalSize_ * 8;
  std::array<std::uint8_t, 72> padding{0x80};
  // Pad to 56 bytes past a block boundary, leaving room for the 8-byte length.
  std::size_t paddingSize = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
  for (int i = 0; i < 8; ++i) padding[paddingSize + i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
  Update({reinterpret_cast<const char*>(padding.data()), paddingSize + 8});

  Digest digest;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (8 * (i % 4)));
  }
  return digest;
}

void Md5::Transform(const std::uint8_t* block) {
  std::array<std::uint32_t, 16> words;
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<std::uint32_t>(block[4 * i]) | static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  }

  auto [a, b, c, d] = state_;
  for (int i = 0; i < 64; ++i) {
    std::uint32_t mixed;
    int wordIndex;
    switch (i / 16) {
      case 0:
        mixed = (b & c) | (~b & d);
        wordIndex = i;
        break;
      case 1:
        mixed = (d & b) | (~d & c);
        wordIndex = (5 * i + 1) % 16;
        break;
      case 2:
        mixed = b ^ c ^ d;
        wordIndex = (3 * i + 5) % 16;
        break;
      default:
        mixed = c ^ (b | ~d);
        wordIndex = (7 * i) % 16;
        break;
    }
    std::uint32_t rotated = std::rotl(a + mixed + kSineTable[i] + words[wordIndex], kShifts[(i / 16) * 4 + i % 4]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

}  // namespace orvane
