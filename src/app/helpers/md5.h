// MD5 message digest (RFC 1321), fed in pieces so files need not be held whole.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace orvane {

class Md5 {
 public:
  using Digest = std::array<std::uint8_t, 16>;

  void Update(std::string_view bytes);
  // Pads, appends the bit length and returns the digest; the object is spent afterwards.
  Digest Finish();

 private:
  void Transform(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalSize_ = 0;
};

}  // namespace orvane
