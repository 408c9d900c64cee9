#include "camera/frame.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include <QImage>
#include <opencv2/core/hal/intrin.hpp>
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif
#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

#include "imaging/jpeg_file.h"
#include "platform/codepage.h"

namespace orvane {

namespace {

constexpr int kSpareBytes = 64;

// The conversion's terms, one table per input byte, and a clamp table over every value the
// shifted sum can take ([-277, 537]), so the inner loop has no branches.
struct Yuy2Tables {
  std::array<int, 256> luma{};     // 298 (Y - 16) + 128
  std::array<int, 256> redV{};     // 409 E
  std::array<int, 256> greenU{};   // -100 D
  std::array<int, 256> greenV{};   // -208 E
  std::array<int, 256> blueU{};    // 516 D
  static constexpr int kClampOffset = 384;
  std::array<std::uint8_t, 1024> clamp{};

  Yuy2Tables() {
    for (int i = 0; i < 256; ++i) {
      luma[i] = 298 * (i - 16) + 128;
      redV[i] = 409 * (i - 128);
      greenU[i] = -100 * (i - 128);
      greenV[i] = -208 * (i - 128);
      blueU[i] = 516 * (i - 128);
    }
    for (int i = 0; i < 1024; ++i) clamp[i] = static_cast<std::uint8_t>(std::clamp(i - kClampOffset, 0, 255));
  }
};

const Yuy2Tables& Tables() {
  static const Yuy2Tables tables;
  return tables;
}

struct TurboHandle {
  tjhandle handle = tjInitDecompress();
  ~TurboHandle() {
    if (handle != nullptr) tjDestroy(handle);
  }
  void Renew() {
    if (handle != nullptr) tjDestroy(handle);
    handle = tjInitDecompress();
  }
};

// One decompressor per thread: made once, not per frame.
TurboHandle& ThreadDecompressor() {
  thread_local TurboHandle decompressor;
  return decompressor;
}

tjhandle Decompressor() { return ThreadDecompressor().handle; }

// After a decode that ended in a warning: whether rows of the picture were lost. The decoder
// keeps the first warning's text. Some cameras put a few surplus bytes before the end-of-picture
// marker on every frame; the decoder only finds them after the last row, so that warning alone
// loses nothing. Any other (the data ran out, a bad code, a lost restart marker) filled rows in.
bool LostRows(tjhandle handle) {
  const char* warning = tjGetErrorStr2(handle);
  return warning == nullptr || std::strstr(warning, "extraneous bytes before marker 0xd9") == nullptr;
}

}  // namespace

bool CFrameSlot::Reserve(int length) {
  if (length <= capacity_) return true;
  std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length) + kSpareBytes]);
  if (!grown) return false;
  buffer_ = std::move(grown);
  capacity_ = length;
  return true;
}

void CFrameSlot::Publish(int length, FrameSubtype subtype, int width, int height) {
  length_ = length;
  width_ = width;
  height_ = height;
  subtype_ = subtype;
  state_.store(kFilled, std::memory_order_release);
}

bool FrameRateGate::Admit(int framesPerSecond) {
  const auto now = std::chrono::steady_clock::now();
  if (framesPerSecond >= 1 && last_ && now - *last_ < std::chrono::milliseconds(1000 / framesPerSecond)) return false;
  last_ = now;
  return true;
}

bool CFrameSlot::TakeOver(CFrameSlot& filled) {
  if (State() == kFilled || filled.State() != kFilled) return false;
  std::swap(buffer_, filled.buffer_);
  std::swap(capacity_, filled.capacity_);
  reduction_ = filled.reduction_;
  source_ = std::move(filled.source_);
  filled.source_.reset();
  Publish(filled.length_, filled.subtype_, filled.width_, filled.height_);
  filled.MarkTaken();
  return true;
}

std::unique_ptr<std::uint8_t[]> CFrameSlot::ExchangeBuffer(std::unique_ptr<std::uint8_t[]> spare, int* capacity,
                                                           bool keepFilled) {
  std::swap(buffer_, spare);
  std::swap(capacity_, *capacity);
  if (!buffer_) capacity_ = 0;
  if (!keepFilled) MarkTaken();
  return spare;
}

bool CFrameSlot::Store(int length, FrameSubtype subtype, const std::uint8_t* bytes, int width,
                       int height) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return false;
  SetOrigin(1, nullptr);
  return StoreInPlace(length, subtype, width, height, [&](std::uint8_t* buffer) {
    if (length > 0) std::memcpy(buffer, bytes, static_cast<std::size_t>(length));
    return true;
  });
}

bool RotateBGR24(const std::uint8_t* source, int width, int height, int angle,
                 std::uint8_t* destination) {
  if (source == nullptr || destination == nullptr || width < 0 || height < 0) return false;
  if (angle % 90 != 0) return false;
  const int a = angle % 360;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  switch (a) {
    case 0:
      std::memcpy(destination, source, pixels * 3);
      return true;
    case 180:
      for (std::size_t k = 0; k < pixels; ++k) std::memcpy(destination + 3 * k, source + 3 * (pixels - 1 - k), 3);
      return true;
    case 90:
    case 270: {
      // A quarter turn moves whole pixels: an index transpose is exact and needs no warp.
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = source + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
          const int column = a == 90 ? height - 1 - y : y;
          const int targetRow = a == 90 ? x : width - 1 - x;
          std::memcpy(destination + (static_cast<std::size_t>(targetRow) * height + column) * 3, row + 3 * x, 3);
        }
      }
      return true;
    }
    default:
      return false;  // a negative angle
  }
}

cv::Point RotatePoint(const cv::RotatedRect& rectangle, float x, float y) {
  const double radians = rectangle.angle * 3.141592653589793 / 180.0;
  const float c = static_cast<float>(std::cos(radians));
  const float s = static_cast<float>(std::sin(radians));
  const float dx = x - rectangle.center.x;
  const float dy = y - rectangle.center.y;
  const float rotatedX = rectangle.center.x + dx * c - dy * s;
  const float rotatedY = rectangle.center.y + dx * s + dy * c;
  return {static_cast<int>(rotatedX + 0.5f), static_cast<int>(rotatedY + 0.5f)};
}

namespace {

#if defined(__x86_64__)
// Byte shuffles that spread 16 blue, green and red bytes into 48 bytes of BGR pixels: output
// vector `part`, channel `channel` (0x80 leaves a byte for the other channels).
constexpr std::array<std::int8_t, 16> InterleaveMask(int part, int channel) {
  std::array<std::int8_t, 16> mask{};
  for (int j = 0; j < 16; ++j) {
    const int n = 16 * part + j;
    mask[j] = n % 3 == channel ? static_cast<std::int8_t>(n / 3) : static_cast<std::int8_t>(0x80);
  }
  return mask;
}

// Sixteen pixels (eight groups) at a time with SSSE3 byte shuffles, in 16-bit lanes in pixel
// order. 298 C splits into 256 C + 42 C (and 409 E, 516 D, -208 E likewise), and
// (256 k + x) >> 8 = k + (x >> 8) for an arithmetic shift, so
//   R = C + E + ((42 C + 153 E + 128) >> 8)
//   G = C - E + ((42 C - 100 D + 48 E + 128) >> 8)
//   B = C + 2 D + ((42 C + 4 D + 128) >> 8)
// are the formula's exact values with every partial sum inside 16 bits; the packs clamp.
// Returns the first group it did not convert.
__attribute__((target("ssse3"))) long long ConvertYuy2GroupsSsse3(const std::uint8_t* source,
                                                                    std::uint8_t* destination, long long g,
                                                                    long long last) {
  const __m128i lumaMask = _mm_setr_epi8(0, -128, 2, -128, 4, -128, 6, -128, 8, -128, 10, -128, 12, -128, 14, -128);
  const __m128i uMask = _mm_setr_epi8(1, -128, 1, -128, 5, -128, 5, -128, 9, -128, 9, -128, 13, -128, 13, -128);
  const __m128i vMask = _mm_setr_epi8(3, -128, 3, -128, 7, -128, 7, -128, 11, -128, 11, -128, 15, -128, 15, -128);
  static constexpr std::array<std::array<std::int8_t, 16>, 9> kMasks = {
      InterleaveMask(0, 0), InterleaveMask(0, 1), InterleaveMask(0, 2), InterleaveMask(1, 0), InterleaveMask(1, 1),
      InterleaveMask(1, 2), InterleaveMask(2, 0), InterleaveMask(2, 1), InterleaveMask(2, 2)};
  __m128i masks[9];
  for (int i = 0; i < 9; ++i) masks[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks[i].data()));
  const __m128i lumaBias = _mm_set1_epi16(16), chromaBias = _mm_set1_epi16(128), rounding = _mm_set1_epi16(128);
  const __m128i k42 = _mm_set1_epi16(42), k153 = _mm_set1_epi16(153), kMinus100 = _mm_set1_epi16(-100),
                k48 = _mm_set1_epi16(48);
  for (; g + 8 <= last; g += 8) {
    __m128i channels[3][2];  // blue, green, red for pixels 0-7 and 8-15
    for (int half = 0; half < 2; ++half) {
      const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * g + 16 * half));
      const __m128i c = _mm_sub_epi16(_mm_shuffle_epi8(in, lumaMask), lumaBias);
      const __m128i d = _mm_sub_epi16(_mm_shuffle_epi8(in, uMask), chromaBias);
      const __m128i e = _mm_sub_epi16(_mm_shuffle_epi8(in, vMask), chromaBias);
      const __m128i c42 = _mm_add_epi16(_mm_mullo_epi16(c, k42), rounding);
      const __m128i redTail = _mm_srai_epi16(_mm_add_epi16(c42, _mm_mullo_epi16(e, k153)), 8);
      const __m128i greenTail = _mm_srai_epi16(
          _mm_add_epi16(c42, _mm_add_epi16(_mm_mullo_epi16(d, kMinus100), _mm_mullo_epi16(e, k48))), 8);
      const __m128i blueTail = _mm_srai_epi16(_mm_add_epi16(c42, _mm_slli_epi16(d, 2)), 8);
      channels[0][half] = _mm_add_epi16(_mm_add_epi16(c, _mm_add_epi16(d, d)), blueTail);
      channels[1][half] = _mm_add_epi16(_mm_sub_epi16(c, e), greenTail);
      channels[2][half] = _mm_add_epi16(_mm_add_epi16(c, e), redTail);
    }
    const __m128i blue = _mm_packus_epi16(channels[0][0], channels[0][1]);
    const __m128i green = _mm_packus_epi16(channels[1][0], channels[1][1]);
    const __m128i red = _mm_packus_epi16(channels[2][0], channels[2][1]);
    for (int part = 0; part < 3; ++part) {
      const __m128i out = _mm_or_si128(
          _mm_or_si128(_mm_shuffle_epi8(blue, masks[3 * part]), _mm_shuffle_epi8(green, masks[3 * part + 1])),
          _mm_shuffle_epi8(red, masks[3 * part + 2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 6 * g + 16 * part), out);
    }
  }
  return g;
}

bool HasSsse3() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
  return has;
}
#endif

// Groups [first, last) of four bytes Y0 U Y1 V, each giving two pixels.
void ConvertYuy2Groups(const std::uint8_t* source, std::uint8_t* destination, long long first, long long last) {
  long long g = first;
#if defined(__x86_64__)
  if (HasSsse3()) g = ConvertYuy2GroupsSsse3(source, destination, g, last);
#elif CV_SIMD128
  // Sixteen groups at a time. Every product pair goes through a 16 x 16 -> 32-bit dot product,
  // so the sums are the exact 32-bit sums of the formula; the packs clamp to 0..255.
  const cv::v_int16x8 lumaBias = cv::v_setall_s16(16);
  const cv::v_int16x8 chromaBias = cv::v_setall_s16(128);
  const cv::v_int16x8 one = cv::v_setall_s16(1);
  const cv::v_int16x8 redWeights(298, 409, 298, 409, 298, 409, 298, 409);      // (C, E)
  const cv::v_int16x8 blueWeights(298, 516, 298, 516, 298, 516, 298, 516);     // (C, D)
  const cv::v_int16x8 greenWeights(298, -100, 298, -100, 298, -100, 298, -100);  // (C, D)
  const cv::v_int16x8 greenChroma(-208, 128, -208, 128, -208, 128, -208, 128);  // (E, 1): with rounding
  const cv::v_int32x4 rounding = cv::v_setall_s32(128);
  const auto signedWords = [](const cv::v_uint16x8& words) { return cv::v_reinterpret_as_s16(words); };
  for (; g + 16 <= last; g += 16) {
    cv::v_uint8x16 y0, u, y1, v;
    cv::v_load_deinterleave(source + 4 * g, y0, u, y1, v);
    cv::v_uint16x8 y0Words[2], uWords[2], y1Words[2], vWords[2];
    cv::v_expand(y0, y0Words[0], y0Words[1]);
    cv::v_expand(u, uWords[0], uWords[1]);
    cv::v_expand(y1, y1Words[0], y1Words[1]);
    cv::v_expand(v, vWords[0], vWords[1]);
    cv::v_int16x8 blue[2][2], green[2][2], red[2][2];  // [pixel of the group][half]
    for (int half = 0; half < 2; ++half) {
      const cv::v_int16x8 d = signedWords(uWords[half]) - chromaBias;
      const cv::v_int16x8 e = signedWords(vWords[half]) - chromaBias;
      cv::v_int16x8 eOneLow, eOneHigh;
      cv::v_zip(e, one, eOneLow, eOneHigh);
      const cv::v_int32x4 greenLow = cv::v_dotprod(eOneLow, greenChroma);
      const cv::v_int32x4 greenHigh = cv::v_dotprod(eOneHigh, greenChroma);
      for (int pixel = 0; pixel < 2; ++pixel) {
        const cv::v_int16x8 c = signedWords(pixel == 0 ? y0Words[half] : y1Words[half]) - lumaBias;
        cv::v_int16x8 ceLow, ceHigh, cdLow, cdHigh;
        cv::v_zip(c, e, ceLow, ceHigh);
        cv::v_zip(c, d, cdLow, cdHigh);
        red[pixel][half] = cv::v_pack((cv::v_dotprod(ceLow, redWeights) + rounding) >> 8,
                                      (cv::v_dotprod(ceHigh, redWeights) + rounding) >> 8);
        blue[pixel][half] = cv::v_pack((cv::v_dotprod(cdLow, blueWeights) + rounding) >> 8,
                                       (cv::v_dotprod(cdHigh, blueWeights) + rounding) >> 8);
        green[pixel][half] = cv::v_pack((cv::v_dotprod(cdLow, greenWeights) + greenLow) >> 8,
                                        (cv::v_dotprod(cdHigh, greenWeights) + greenHigh) >> 8);
      }
    }
    cv::v_uint8x16 b0 = cv::v_pack_u(blue[0][0], blue[0][1]), b1 = cv::v_pack_u(blue[1][0], blue[1][1]);
    cv::v_uint8x16 g0 = cv::v_pack_u(green[0][0], green[0][1]), g1 = cv::v_pack_u(green[1][0], green[1][1]);
    cv::v_uint8x16 r0 = cv::v_pack_u(red[0][0], red[0][1]), r1 = cv::v_pack_u(red[1][0], red[1][1]);
    cv::v_uint8x16 blueA, blueB, greenA, greenB, redA, redB;
    cv::v_zip(b0, b1, blueA, blueB);  // back into pixel order
    cv::v_zip(g0, g1, greenA, greenB);
    cv::v_zip(r0, r1, redA, redB);
    cv::v_store_interleave(destination + 6 * g, blueA, greenA, redA);
    cv::v_store_interleave(destination + 6 * g + 48, blueB, greenB, redB);
  }
#endif
  const Yuy2Tables& t = Tables();
  const std::uint8_t* clamp = t.clamp.data() + Yuy2Tables::kClampOffset;
  for (; g < last; ++g) {
    const std::uint8_t* in = source + 4 * g;
    std::uint8_t* out = destination + 6 * g;
    const int red = t.redV[in[3]];
    const int green = t.greenU[in[1]] + t.greenV[in[3]];
    const int blue = t.blueU[in[1]];
    const int c0 = t.luma[in[0]];
    const int c1 = t.luma[in[2]];
    out[0] = clamp[(c0 + blue) >> 8];
    out[1] = clamp[(c0 + green) >> 8];
    out[2] = clamp[(c0 + red) >> 8];
    out[3] = clamp[(c1 + blue) >> 8];
    out[4] = clamp[(c1 + green) >> 8];
    out[5] = clamp[(c1 + red) >> 8];
  }
}

}  // namespace

bool ConvertYUY2ToBGR24(const std::uint8_t* source, int length, int width, int height,
                        std::uint8_t* destination) {
  const long long pixels = static_cast<long long>(width) * height;
  if (pixels * 2 != length) return false;
  if (pixels <= 0) return true;
  if (pixels % 2 != 0 || source == nullptr || destination == nullptr) return false;
  const long long groups = pixels / 2;
  // Over OpenCV's worker threads in rows, as its own conversion shares the work out (fixed stripes
  // of a quarter of a million groups left most of the pool idle at 1920 x 1080); frames below
  // 640 x 480 (a few hundredths of a millisecond on one thread: the pool would save next to
  // nothing), and rows that do not hold whole groups, on the calling thread.
  constexpr long long kSmallestShared = 640 * 480;
  if (pixels < kSmallestShared || width % 2 != 0) {
    ConvertYuy2Groups(source, destination, 0, groups);
    return true;
  }
  const long long rowGroups = width / 2;
  cv::parallel_for_(cv::Range(0, height), [&](const cv::Range& rows) {
    ConvertYuy2Groups(source, destination, rows.start * rowGroups, rows.end * rowGroups);
  });
  return true;
}

bool ReadMJPGSize(const std::uint8_t* source, int length, int* width, int* height) {
  if (source == nullptr || length <= 0) return false;
  tjhandle handle = Decompressor();
  int subsampling = 0;
  int colourspace = 0;
  if (handle == nullptr) return false;
  if (tjDecompressHeader3(handle, source, static_cast<unsigned long>(length), width, height, &subsampling,
                          &colourspace) == 0)
    return true;
  // A header that fails leaves the decompressor halfway through it, and the next frame's header
  // would then fail in turn (a frame cut inside its header spoiling the whole one after it).
  ThreadDecompressor().Renew();
  return false;
}

bool DecodeMJPGToBGR24(const std::uint8_t* source, int length, std::uint8_t* destination,
                       std::size_t capacity, int* width, int* height, int* rowStep, int reduction,
                       bool* damaged) {
  if (source == nullptr || destination == nullptr) return false;
  if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8) return false;
  int w = 0;
  int h = 0;
  if (!ReadMJPGSize(source, length, &w, &h) || w <= 0 || h <= 0) return false;
  // Asking for the scaled size makes the decoder pick the matching 1/2, 1/4 or 1/8 scaling.
  w = (w + reduction - 1) / reduction;
  h = (h + reduction - 1) / reduction;
  const std::size_t step = static_cast<std::size_t>(w) * 3;
  if (step * static_cast<std::size_t>(h) > capacity) return false;
  tjhandle handle = Decompressor();
  bool lost = false;
  if (tjDecompress2(handle, source, static_cast<unsigned long>(length), destination, w,
                    static_cast<int>(step), h, TJPF_BGR, 0) != 0) {
    // Cameras often end a frame early; libjpeg-turbo fills the rest and says so as a warning.
    if (tjGetErrorCode(handle) != TJERR_WARNING) return false;
    lost = LostRows(handle);
  }
  if (damaged != nullptr) *damaged = lost;
  *width = w;
  *height = h;
  *rowStep = static_cast<int>(step);
  return true;
}

namespace {

// Rows handed on per band: a band of a 4160-pixel frame at 1/2 is about 100 KB, well within the
// processor's second-level cache.
constexpr int kBandRows = 16;

// One row of `values` BGR bytes (`reduction` source rows summed per value in `sums`) averaged
// across each `reduction` pixels, rounded half up.
template <int kReduction>
void AverageAcross(const std::uint16_t* sums, int outWidth, std::uint8_t* out) {
  constexpr int kShift = kReduction == 2 ? 2 : 4;
  constexpr int kHalf = 1 << (kShift - 1);
  for (int x = 0; x < outWidth; ++x) {
    const std::uint16_t* in = sums + 3 * kReduction * x;
    for (int c = 0; c < 3; ++c) {
      int total = kHalf;
      for (int i = 0; i < kReduction; ++i) total += in[3 * i + c];
      out[3 * x + c] = static_cast<std::uint8_t>(total >> kShift);
    }
  }
}

}  // namespace

bool DecodeMJPGInBands(const std::uint8_t* source, int length, std::uint8_t* destination, std::size_t capacity,
                       int reduction, const RowsDone& rowsDone, bool* damaged) {
  if (source == nullptr || destination == nullptr || length <= 0) return false;
  if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8) return false;
  const imaging::BandDecode decoded = imaging::DecodeJpegInBands(source, static_cast<std::size_t>(length), reduction,
                                                                 destination, capacity, kBandRows, rowsDone);
  if (decoded == imaging::BandDecode::kFailed) return false;
  if (damaged != nullptr) *damaged = decoded == imaging::BandDecode::kRowsLost;
  return true;
}

bool ConvertYUY2InBands(const std::uint8_t* source, int length, int width, int height, int reduction,
                        std::uint8_t* destination, std::size_t capacity, const RowsDone& rowsDone) {
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0) return false;
  if (static_cast<long long>(width) * height * 2 != length) return false;
  if (reduction != 1 && reduction != 2 && reduction != 4) return false;
  if (width % reduction != 0 || height % reduction != 0) return false;
  const int outWidth = width / reduction;
  const int outHeight = height / reduction;
  const std::size_t outStep = static_cast<std::size_t>(outWidth) * 3;
  if (outStep * static_cast<std::size_t>(outHeight) > capacity) return false;
  const std::size_t inStep = static_cast<std::size_t>(width) * 2;
  if (width % 2 != 0) {
    // Rows that do not hold whole groups: converted at once, as ConvertYUY2ToBGR24 does.
    if (reduction != 1 || !ConvertYUY2ToBGR24(source, length, width, height, destination)) return false;
    rowsDone(height);
    return true;
  }
  const long long rowGroups = width / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> scratch(reduction > 1 ? rowBytes : 0);
  std::vector<std::uint16_t> sums(reduction > 1 ? rowBytes : 0);
  for (int first = 0; first < outHeight; first += kBandRows) {
    const int last = std::min(first + kBandRows, outHeight);
    for (int y = first; y < last; ++y) {
      std::uint8_t* out = destination + outStep * static_cast<std::size_t>(y);
      if (reduction == 1) {
        ConvertYuy2Groups(source + inStep * static_cast<std::size_t>(y), out, 0, rowGroups);
        continue;
      }
      std::fill(sums.begin(), sums.end(), 0);
      for (int i = 0; i < reduction; ++i) {
        ConvertYuy2Groups(source + inStep * static_cast<std::size_t>(y * reduction + i), scratch.data(), 0, rowGroups);
        for (std::size_t j = 0; j < rowBytes; ++j) sums[j] = static_cast<std::uint16_t>(sums[j] + scratch[j]);
      }
      if (reduction == 2) AverageAcross<2>(sums.data(), outWidth, out);
      else AverageAcross<4>(sums.data(), outWidth, out);
    }
    rowsDone(last);
  }
  return true;
}

int MjpgReduction(int wanted, int width, int height) {
  return (wanted == 2 || wanted == 4) && width % wanted == 0 && height % wanted == 0 ? wanted : 1;
}

bool ConvertToBGR24(FrameSubtype subtype, const std::uint8_t* bytes, int length, int width, int height,
                    int reduction, std::uint8_t* destination, std::size_t capacity, bool* damaged) {
  if (damaged != nullptr) *damaged = false;
  if (bytes == nullptr || destination == nullptr || width <= 0 || height <= 0) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  const std::size_t bgrBytes = rowBytes * static_cast<std::size_t>(height);
  switch (subtype) {
    case FrameSubtype::YUY2:
      return bgrBytes <= capacity && ConvertYUY2ToBGR24(bytes, length, width, height, destination);
    case FrameSubtype::RGB24:
      if (bgrBytes > capacity || static_cast<std::size_t>(std::max(length, 0)) < bgrBytes) return false;
      for (int y = 0; y < height; ++y)
        std::memcpy(destination + y * rowBytes, bytes + (height - 1 - y) * rowBytes, rowBytes);
      return true;
    case FrameSubtype::MJPG: {
      if (MjpgReduction(reduction, width, height) != reduction) return false;
      int jpegWidth = 0;
      int jpegHeight = 0;
      // A frame of another size than the slot announces would not match its buffer.
      if (!ReadMJPGSize(bytes, length, &jpegWidth, &jpegHeight) || jpegWidth != width || jpegHeight != height)
        return false;
      int w = 0, h = 0, step = 0;
      return DecodeMJPGToBGR24(bytes, length, destination, capacity, &w, &h, &step, reduction, damaged);
    }
    case FrameSubtype::None:
      break;
  }
  return false;
}

bool FrameConverter::Convert(CFrameSlot& raw, CFrameSlot& converted) {
  if (raw.State() != CFrameSlot::kFilled || converted.State() == CFrameSlot::kFilled) return false;
  const int width = raw.Width();
  const int height = raw.Height();
  const FrameSubtype subtype = raw.Subtype();
  bool stored = false;
  bool released = false;
  const bool known = subtype == FrameSubtype::YUY2 || subtype == FrameSubtype::MJPG || subtype == FrameSubtype::RGB24;
  if (known && width > 0 && height > 0 && 3LL * width * height <= INT32_MAX &&
      (subtype != FrameSubtype::MJPG || mjpgGate_.Admit(rateLimit_))) {
    const int reduction = subtype == FrameSubtype::MJPG ? MjpgReduction(reduction_, width, height) : 1;
    const int outWidth = width / reduction;
    const int outHeight = height / reduction;
    const int outLength = outWidth * outHeight * 3;
    std::shared_ptr<const std::vector<std::uint8_t>> source;
    const std::uint8_t* bytes = raw.Data();
    int length = raw.Length();
    if (subtype == FrameSubtype::MJPG) {
      // Decoded from a copy: the camera's next frame can land in the raw slot while this one
      // decodes (holding the slot for a whole decode drops every other frame at 30 a second).
      source = std::make_shared<const std::vector<std::uint8_t>>(raw.Data(), raw.Data() + raw.Length());
      raw.MarkTaken();
      released = true;
      bytes = source->data();
      length = static_cast<int>(source->size());
    }
    converted.SetOrigin(reduction, reduction > 1 ? source : nullptr);
    // The second camera's picture is drawn into pictures that are kept (picture in picture): a
    // frame the camera ended early is passed over, and the last whole one stays.
    stored = converted.StoreInPlace(outLength, FrameSubtype::RGB24, outWidth, outHeight, [&](std::uint8_t* out) {
      bool damaged = false;
      return ConvertToBGR24(subtype, bytes, length, width, height, reduction, out, static_cast<std::size_t>(outLength),
                            &damaged) &&
             !damaged;
    });
  }
  // A frame the camera stored after an early release is the next one to convert.
  if (!released) raw.MarkTaken();
  return stored;
}

void CopyMatToImage(const cv::Mat& matrix, QImage& image) {
  image = QImage(matrix.cols, matrix.rows, QImage::Format_BGR888);
  if (image.isNull()) return;
  for (int y = 0; y < matrix.rows; ++y) {
    std::memcpy(image.scanLine(y), matrix.ptr(y), static_cast<std::size_t>(matrix.cols) * 3);
  }
}

void CopyImageToMat(const QImage& image, cv::Mat& matrix) {
  const QImage bgr = image.format() == QImage::Format_BGR888 ? image : image.convertToFormat(QImage::Format_BGR888);
  matrix.create(bgr.height(), bgr.width(), CV_8UC3);
  for (int y = 0; y < bgr.height(); ++y) {
    std::memcpy(matrix.ptr(y), bgr.constScanLine(y), static_cast<std::size_t>(bgr.width()) * 3);
  }
}

std::string WideStringToAnsi(const std::string& utf8) {
  return platform::ConvertText(utf8, platform::kUtf8Charset, platform::kGbkCharset).value_or(std::string());
}

std::string AnsiToWide(const std::string& gbk) {
  return platform::ConvertText(gbk, platform::kGbkCharset, platform::kUtf8Charset).value_or(std::string());
}

}  // namespace orvane

namespace qvcam {

CBGR24Data::CBGR24Data(const CBGR24Data& other) { SetData(other.width_, other.height_, other.pixels_.get()); }

CBGR24Data& CBGR24Data::operator=(const CBGR24Data& other) {
  if (this != &other) SetData(other.width_, other.height_, other.pixels_.get());
  return *this;
}

bool CBGR24Data::Reserve(int width, int height) {
  if (width < 0 || height < 0) return false;
  const bool sameArea = (width == width_ && height == height_) || (width == height_ && height == width_);
  if (sameArea && (pixels_ || width == 0 || height == 0)) return true;
  pixels_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width) * height * 3]);
  if (!pixels_) {
    width_ = height_ = 0;
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

bool CBGR24Data::SetData(int width, int height, const std::uint8_t* pixels) {
  const std::size_t bytes = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0) * 3;
  if (bytes > 0 && pixels == nullptr) return false;
  if (!Reserve(width, height)) return false;
  width_ = width;
  height_ = height;
  if (bytes > 0) std::memcpy(pixels_.get(), pixels, bytes);
  return true;
}

bool CBGR24Data::GetSize(int* width, int* height) const {
  if (!pixels_ || width_ <= 0 || height_ <= 0) return false;
  *width = width_;
  *height = height_;
  return true;
}

cv::Mat CBGR24Data::CropToMat(int left, int top, int right, int bottom) const {
  if (!pixels_ || left < 0 || top < 0 || right > width_ || bottom > height_ || left >= right || top >= bottom) {
    return {};
  }
  const cv::Mat whole(height_, width_, CV_8UC3, const_cast<std::uint8_t*>(pixels_.get()));
  return whole(cv::Rect(left, top, right - left, bottom - top)).clone();
}

bool CBGR24Data::SetRotated(int angle, int width, int height, const std::uint8_t* pixels) {
  if (pixels == nullptr || angle % 90 != 0 || angle % 360 < 0) return false;
  if (!Reserve(width, height)) return false;
  const bool quarter = angle % 180 != 0;
  width_ = quarter ? height : width;
  height_ = quarter ? width : height;
  return orvane::RotateBGR24(pixels, width, height, angle, pixels_.get());
}

}  // namespace qvcam
