#include "imaging/picture_codecs.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <tiffio.h>

#include "imaging/jpeg_file.h"

namespace orvane::imaging {
namespace {

bool IsGreyOrBgr(const cv::Mat& picture) {
  return !picture.empty() && picture.depth() == CV_8U && (picture.channels() == 1 || picture.channels() == 3);
}

void AppendLittleEndian(std::string& bytes, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendBigEndian(std::string& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

std::uint32_t BigEndianAt(const char* bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

// `count` (2 or 4) bytes, least significant first.
std::uint32_t LittleEndianAt(const char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

std::uint32_t BigEndian16At(const char* bytes) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]));
}

// The last 26 bytes of a TrueVision 2.0 file: no extension area, no developer area, the signature.
constexpr std::string_view kTgaSignature("TRUEVISION-XFILE.\0", 18);
constexpr std::size_t kTgaFooterSize = 8 + kTgaSignature.size();

// Why a picture is refused, worded to follow the file's name.
cv::Mat Unreadable(std::string* error, const std::string& why) {
  *error = "is no picture that can be read: " + why;
  return {};
}

cv::Mat TooLarge(std::string* error, long long width, long long height) {
  *error = "declares " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than a picture may have";
  return {};
}

struct DeclaredSize {
  long long width;
  long long height;
};

// The size the header of a JPEG, PNG, Sun raster or BMP declares; nothing for other files, which
// their decoders bound (libtiff's reader checks the size of a TIFF before it reads).
std::optional<DeclaredSize> ReadDeclaredSize(const std::string& bytes) {
  const auto startsWith = [&](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
  const char* head = bytes.data();
  if (startsWith("\xFF\xD8\xFF")) {
    int width = 0, height = 0;
    if (!ReadJpegSize(reinterpret_cast<const std::uint8_t*>(head), bytes.size(), width, height)) return {};
    return DeclaredSize{width, height};
  }
  if (startsWith("\x89PNG\r\n\x1A\n") && bytes.size() >= 24)
    return DeclaredSize{BigEndianAt(head + 16), BigEndianAt(head + 20)};
  if (startsWith("\x59\xA6\x6A\x95") && bytes.size() >= 12)
    return DeclaredSize{BigEndianAt(head + 4), BigEndianAt(head + 8)};
  if (startsWith("BM") && bytes.size() >= 26) {
    // A 12-byte core header has 16-bit sides; every later one 32-bit, the height signed.
    const int count = LittleEndianAt(head + 14, 4) == 12 ? 2 : 4;
    const auto side = [&](int at) -> long long {
      const std::uint32_t value = LittleEndianAt(head + at, count);
      return count == 4 ? static_cast<std::int32_t>(value) : static_cast<std::int16_t>(value);
    };
    const long long height = side(18 + count);
    return DeclaredSize{side(18), height < 0 ? -height : height};
  }
  return {};
}

// A TIFF held in memory: libtiff reads and writes through these, `position` its file offset.
struct TiffMemory {
  std::string bytes;
  std::size_t position = 0;
};

tmsize_t TiffRead(thandle_t handle, void* data, tmsize_t size) {
  auto& memory = *static_cast<TiffMemory*>(handle);
  const std::size_t available = memory.position < memory.bytes.size() ? memory.bytes.size() - memory.position : 0;
  const std::size_t count = std::min(available, static_cast<std::size_t>(size));
  std::memcpy(data, memory.bytes.data() + memory.position, count);
  memory.position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t TiffWrite(thandle_t handle, void* data, tmsize_t size) {
  auto& memory = *static_cast<TiffMemory*>(handle);
  const std::size_t count = static_cast<std::size_t>(size);
  try {
    if (memory.bytes.size() < memory.position + count) memory.bytes.resize(memory.position + count);
  } catch (const std::exception&) {
    return -1;
  }
  std::memcpy(memory.bytes.data() + memory.position, data, count);
  memory.position += count;
  return size;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto& memory = *static_cast<TiffMemory*>(handle);
  const auto base = whence == SEEK_CUR ? memory.position : whence == SEEK_END ? memory.bytes.size() : 0;
  memory.position = static_cast<std::size_t>(base + offset);
  return memory.position;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TiffMemory*>(handle)->bytes.size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

// An uncompressed grey or true-colour TGA (8, 24 or 32 bits, no colour map, either row order):
// what the program and most others write, which Qt does not read in grey. TGA has no magic at its
// start, so a file is taken only with the TrueVision 2.0 footer or, as the program's files before
// the footer were, with exactly a header, its identifier and the pixels. Nothing for any other file.
std::optional<cv::Mat> DecodePlainTga(const std::string& bytes, std::string* error) {
  if (bytes.size() < 18) return std::nullopt;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const std::uint32_t width = LittleEndianAt(bytes.data() + 12, 2), height = LittleEndianAt(bytes.data() + 14, 2);
  const unsigned type = byte(2), bits = byte(16), descriptor = byte(17);
  if (byte(1) != 0 || !((type == 2 && (bits == 24 || bits == 32)) || (type == 3 && bits == 8)) || width == 0 ||
      height == 0)
    return std::nullopt;
  const std::size_t channels = bits / 8;
  const std::size_t start = 18 + byte(0);
  const std::size_t end = start + static_cast<std::size_t>(width) * height * channels;
  const bool footer = bytes.size() >= kTgaFooterSize &&
                      bytes.compare(bytes.size() - kTgaSignature.size(), kTgaSignature.size(), kTgaSignature) == 0;
  if (footer ? end > bytes.size() - kTgaFooterSize : end != bytes.size()) return std::nullopt;
  if (!WithinPictureCeiling(width, height)) return TooLarge(error, width, height);
  const bool topFirst = (descriptor & 0x20) != 0, rightFirst = (descriptor & 0x10) != 0;
  cv::Mat picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  for (std::uint32_t row = 0; row < height; ++row) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data() + start) + std::size_t{row} * width * channels;
    auto* out = picture.ptr<std::uint8_t>(static_cast<int>(topFirst ? row : height - 1 - row));
    for (std::uint32_t x = 0; x < width; ++x, in += channels) {
      std::uint8_t* pixel = out + 3 * (rightFirst ? width - 1 - x : x);
      if (channels == 1) pixel[0] = pixel[1] = pixel[2] = in[0];
      else std::memcpy(pixel, in, 3);  // B, G, R (and alpha, dropped)
    }
  }
  return picture;
}

// A Sun raster file of the kinds the program writes and most others: 8-bit grey or 24/32-bit
// colour, uncompressed, BGR (standard) or RGB order; no colour map. Its declared size is within
// the ceiling.
cv::Mat DecodeSunRaster(const std::string& bytes, std::string* error) {
  if (bytes.size() < 32) return Unreadable(error, "the Sun raster header is cut short");
  const char* header = bytes.data();
  const std::uint32_t width = BigEndianAt(header + 4), height = BigEndianAt(header + 8);
  const std::uint32_t depth = BigEndianAt(header + 12), type = BigEndianAt(header + 20);
  const std::uint32_t mapType = BigEndianAt(header + 24), mapLength = BigEndianAt(header + 28);
  if ((type != 0 && type != 1 && type != 3) || (depth != 8 && depth != 24 && depth != 32) ||
      mapType != 0 || mapLength != 0) {
    return Unreadable(error, "a Sun raster kind that is not read here (compressed or with a colour map)");
  }
  const std::size_t channels = depth / 8;
  const std::size_t rowBytes = width * channels;
  const std::size_t paddedRow = rowBytes + rowBytes % 2;
  const std::size_t start = 32 + mapLength;
  if (bytes.size() < start + paddedRow * height) return Unreadable(error, "the Sun raster's pixels are cut short");
  cv::Mat picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  for (int y = 0; y < picture.rows; ++y) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data() + start + paddedRow * y);
    auto* out = picture.ptr<std::uint8_t>(y);
    for (std::uint32_t x = 0; x < width; ++x, in += channels, out += 3) {
      if (channels == 1) {
        out[0] = out[1] = out[2] = in[0];
      } else {
        const std::uint8_t* bgr = channels == 4 ? in + 1 : in;  // 32-bit pixels lead with a pad byte
        out[0] = bgr[type == 3 ? 2 : 0];
        out[1] = bgr[1];
        out[2] = bgr[type == 3 ? 0 : 2];
      }
    }
  }
  return picture;
}

// 8-bit grey or RGB pixels stored side by side, read a row at a time whatever the compression:
// what the program and most others write. Empty when the page is of another kind.
cv::Mat ReadPlainTiffRows(TIFF* tiff, std::uint32_t width, std::uint32_t height) {
  std::uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 0 || bits != 8 || planar != PLANARCONFIG_CONTIG ||
      TIFFIsTiled(tiff) || !((photometric == PHOTOMETRIC_RGB && samples == 3) ||
                             (photometric == PHOTOMETRIC_MINISBLACK && samples == 1)))
    return {};
  cv::Mat picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
  if (row.size() < static_cast<std::size_t>(width) * samples) return {};
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tiff, row.data(), y, 0) < 0) return {};
    std::uint8_t* out = picture.ptr<std::uint8_t>(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x, out += 3) {
      const std::uint8_t* in = row.data() + static_cast<std::size_t>(x) * samples;
      out[0] = in[samples == 3 ? 2 : 0];
      out[1] = in[samples == 3 ? 1 : 0];
      out[2] = in[0];
    }
  }
  return picture;
}

// Any page libtiff knows (bilevel fax pages, palettes, JPEG inside TIFF, 16-bit samples) through
// its RGBA reader.
cv::Mat ReadTiffAsRgba(TIFF* tiff, std::uint32_t width, std::uint32_t height, std::string* error) {
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 0)
    return Unreadable(error, "a TIFF whose pixels libtiff cannot read");
  cv::Mat picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  for (int y = 0; y < picture.rows; ++y) {
    const std::uint32_t* in = raster.data() + static_cast<std::size_t>(y) * width;
    auto* out = picture.ptr<std::uint8_t>(y);
    for (std::uint32_t x = 0; x < width; ++x, out += 3) {
      out[0] = static_cast<std::uint8_t>(TIFFGetB(in[x]));
      out[1] = static_cast<std::uint8_t>(TIFFGetG(in[x]));
      out[2] = static_cast<std::uint8_t>(TIFFGetR(in[x]));
    }
  }
  return picture;
}

// The first page: plain pages row by row, any other through the RGBA reader.
cv::Mat DecodeTiff(std::string bytes, std::string* error) {
  TiffMemory memory{std::move(bytes)};
  TIFF* tiff = TIFFClientOpen("memory", "rm", &memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                              TiffUnmap);
  if (tiff == nullptr) return Unreadable(error, "a TIFF that libtiff cannot open");
  std::uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  cv::Mat picture;
  if (!WithinPictureCeiling(width, height)) {
    TooLarge(error, width, height);
  } else {
    try {
      picture = ReadPlainTiffRows(tiff, width, height);
      if (picture.empty()) picture = ReadTiffAsRgba(tiff, width, height, error);
    } catch (const std::exception&) {
      Unreadable(error, "no memory for the picture");
      picture.release();
    }
  }
  TIFFClose(tiff);
  return picture;
}

// Qt's readers refuse pictures above 256 MB by default; the program's own ceiling (checked from
// the header before) allows 200 megapixels at up to 8 bytes a pixel.
void AllowPicturesUpToTheCeiling() {
  static std::once_flag once;
  std::call_once(once, [] {
    const int megabytes = static_cast<int>(kMaxPicturePixels * 8 / (1024 * 1024)) + 1;
    QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), megabytes));
  });
}

cv::Mat DecodeWithQt(const std::string& bytes, std::string* error) {
  AllowPicturesUpToTheCeiling();
  QImage image = QImage::fromData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (image.isNull()) return Unreadable(error, "no picture format that can be read");
  // Unpremultiplied, so alpha is dropped rather than blended: the colours as they are stored.
  // 32-bit pixels (0xAARRGGBB: B, G, R, A in memory) are taken as they are, the rest converted.
  const QImage::Format format = image.format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 && format != QImage::Format_Grayscale8) {
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) return Unreadable(error, "no memory for the picture");
  }
  const bool grey = image.format() == QImage::Format_Grayscale8;
  cv::Mat picture(image.height(), image.width(), CV_8UC3);
  for (int y = 0; y < picture.rows; ++y) {
    const uchar* in = image.constScanLine(y);
    uchar* out = picture.ptr(y);
    if (grey) {
      for (int x = 0; x < picture.cols; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
    } else {
      for (int x = 0; x < picture.cols; ++x, in += 4, out += 3) std::memcpy(out, in, 3);
    }
  }
  return picture;
}

// An uncompressed BMP of 8 bits with a palette or of 24 or 32 bits, either row order: what the
// program and most others write. Other BMPs (compressed, bit fields, 1 or 4 bits) are Qt's.
std::optional<cv::Mat> DecodePlainBmp(const std::string& bytes) {
  if (bytes.size() < 54) return std::nullopt;
  const auto at = [&](std::size_t offset, int count) { return LittleEndianAt(bytes.data() + offset, count); };
  const std::uint32_t headerSize = at(14, 4);
  const auto width = static_cast<std::int32_t>(at(18, 4));
  const auto signedHeight = static_cast<std::int32_t>(at(22, 4));
  const std::uint32_t planes = at(26, 2), bits = at(28, 2), compression = at(30, 4);
  const std::uint32_t offset = at(10, 4);
  if (headerSize < 40 || planes != 1 || compression != 0 || (bits != 8 && bits != 24 && bits != 32) || width <= 0 ||
      signedHeight == 0 || signedHeight == INT32_MIN)
    return std::nullopt;
  const std::int32_t height = signedHeight < 0 ? -signedHeight : signedHeight;  // within the ceiling, checked before
  const std::size_t channels = bits / 8;
  const std::size_t paddedRow = (static_cast<std::size_t>(width) * channels + 3) / 4 * 4;
  if (offset > bytes.size() || bytes.size() - offset < paddedRow * static_cast<std::size_t>(height))
    return std::nullopt;
  std::uint8_t palette[256][3] = {};
  if (bits == 8) {
    const std::size_t paletteStart = 14 + headerSize;
    std::uint32_t colours = at(46, 4);
    if (colours == 0 || colours > 256) colours = 256;
    if (paletteStart + 4 * colours > offset) return std::nullopt;
    for (std::uint32_t i = 0; i < colours; ++i)
      std::memcpy(palette[i], bytes.data() + paletteStart + 4 * i, 3);  // B, G, R, reserved
  }
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    const int row = signedHeight > 0 ? height - 1 - y : y;  // a positive height stores the bottom row first
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data() + offset + paddedRow * row);
    std::uint8_t* out = picture.ptr<std::uint8_t>(y);
    if (bits == 24) {
      std::memcpy(out, in, static_cast<std::size_t>(width) * 3);
    } else {
      for (int x = 0; x < width; ++x, out += 3) std::memcpy(out, bits == 8 ? palette[in[x]] : in + 4 * x, 3);
    }
  }
  return picture;
}

}  // namespace

std::string EncodeTga(const cv::Mat& picture) {
  if (!IsGreyOrBgr(picture) || picture.cols > 0xFFFF || picture.rows > 0xFFFF) {
    return {};
  }
  const bool grey = picture.channels() == 1;
  std::string bytes(18, '\0');
  bytes[2] = grey ? 3 : 2;  // uncompressed grey / true colour
  bytes[12] = static_cast<char>(picture.cols & 0xFF);
  bytes[13] = static_cast<char>(picture.cols >> 8);
  bytes[14] = static_cast<char>(picture.rows & 0xFF);
  bytes[15] = static_cast<char>(picture.rows >> 8);
  bytes[16] = grey ? 8 : 24;
  bytes[17] = 0x20;  // top-left origin
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * picture.channels();
  bytes.reserve(bytes.size() + rowBytes * picture.rows + kTgaFooterSize);
  for (int y = 0; y < picture.rows; ++y) {
    bytes.append(picture.ptr<char>(y), rowBytes);  // TGA stores BGR, as the matrix does
  }
  AppendLittleEndian(bytes, 0, 4);  // no extension area
  AppendLittleEndian(bytes, 0, 4);  // no developer area
  bytes += kTgaSignature;
  return bytes;
}

std::string EncodeSunRaster(const cv::Mat& picture) {
  if (!IsGreyOrBgr(picture)) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * picture.channels();
  const std::size_t paddedRow = rowBytes + rowBytes % 2;
  const std::size_t length = paddedRow * static_cast<std::size_t>(picture.rows);
  if (length > 0xFFFFFFFFu) return {};
  std::string bytes;
  bytes.reserve(32 + length);
  AppendBigEndian(bytes, 0x59A66A95);  // magic
  AppendBigEndian(bytes, static_cast<std::uint32_t>(picture.cols));
  AppendBigEndian(bytes, static_cast<std::uint32_t>(picture.rows));
  AppendBigEndian(bytes, picture.channels() == 1 ? 8 : 24);
  AppendBigEndian(bytes, static_cast<std::uint32_t>(length));
  AppendBigEndian(bytes, 1);  // standard type: 24-bit pixels stored as BGR
  AppendBigEndian(bytes, 0);  // no colour map: 8-bit pixels are grey
  AppendBigEndian(bytes, 0);
  for (int y = 0; y < picture.rows; ++y) {
    bytes.append(picture.ptr<char>(y), rowBytes);
    if (paddedRow != rowBytes) bytes += '\0';
  }
  return bytes;
}

std::string EncodeBmp(const cv::Mat& picture) {
  if (!IsGreyOrBgr(picture)) return {};
  const bool grey = picture.channels() == 1;
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * picture.channels();
  const std::size_t paddedRow = (rowBytes + 3) / 4 * 4;
  const std::size_t palette = grey ? 256 * 4 : 0;
  const std::size_t offset = 14 + 40 + palette;
  const std::size_t total = offset + paddedRow * static_cast<std::size_t>(picture.rows);
  if (total > 0x7FFFFFFF) return {};
  std::string bytes = "BM";
  bytes.reserve(total);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(total), 4);
  AppendLittleEndian(bytes, 0, 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(offset), 4);
  AppendLittleEndian(bytes, 40, 4);  // BITMAPINFOHEADER
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(picture.cols), 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(picture.rows), 4);  // positive: bottom row first
  AppendLittleEndian(bytes, 1, 2);
  AppendLittleEndian(bytes, grey ? 8 : 24, 2);
  for (int i = 0; i < 6; ++i) AppendLittleEndian(bytes, 0, 4);  // uncompressed, no resolution, full palette
  for (int level = 0; grey && level < 256; ++level) {
    for (int c = 0; c < 3; ++c) bytes += static_cast<char>(level);
    bytes += '\0';
  }
  const std::string padding(paddedRow - rowBytes, '\0');
  for (int y = picture.rows - 1; y >= 0; --y) {
    bytes.append(picture.ptr<char>(y), rowBytes);
    bytes += padding;
  }
  return bytes;
}

std::string EncodePng(const cv::Mat& picture) {
  if (!IsGreyOrBgr(picture)) return {};
  const bool grey = picture.channels() == 1;
  const QImage image(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                     grey ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "PNG");
  // Qt's PNG quality 80 is zlib's level 1, the fastest that still compresses: a capture is saved
  // while the next one waits.
  writer.setQuality(80);
  if (!writer.write(image)) return {};
  // Qt always stores a resolution (96 dots per inch unless told another); the station's PNG files
  // have none, as they always had. Chunks stand alone, each with its own checksum.
  std::string png;
  png.reserve(static_cast<std::size_t>(encoded.size()));
  std::size_t at = 8;
  png.append(encoded.constData(), std::min<std::size_t>(at, encoded.size()));
  while (at + 12 <= static_cast<std::size_t>(encoded.size())) {
    const std::size_t length = BigEndianAt(encoded.constData() + at);
    const std::size_t whole = 12 + length;
    if (at + whole > static_cast<std::size_t>(encoded.size())) return {};
    if (std::memcmp(encoded.constData() + at + 4, "pHYs", 4) != 0) png.append(encoded.constData() + at, whole);
    at += whole;
  }
  return png;
}

std::string EncodeTiff(const cv::Mat& picture) {
  if (!IsGreyOrBgr(picture)) return {};
  const int channels = picture.channels();
  TiffMemory memory;
  TIFF* tiff = TIFFClientOpen("memory", "w", &memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                              TiffUnmap);
  if (tiff == nullptr) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * channels;
  const auto rowsPerStrip = static_cast<std::uint32_t>(std::clamp<std::size_t>(8192 / rowBytes, 1, picture.rows));
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.cols));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.rows));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  bool written = true;
  std::vector<std::uint8_t> row(rowBytes);
  for (int y = 0; y < picture.rows && written; ++y) {
    const std::uint8_t* in = picture.ptr<std::uint8_t>(y);
    if (channels == 3) {
      for (int x = 0; x < picture.cols; ++x) {
        row[3 * x] = in[3 * x + 2];
        row[3 * x + 1] = in[3 * x + 1];
        row[3 * x + 2] = in[3 * x];
      }
    } else {
      std::memcpy(row.data(), in, rowBytes);
    }
    written = TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
  }
  written = written && TIFFWriteDirectory(tiff) != 0;
  TIFFClose(tiff);
  return written ? std::move(memory.bytes) : std::string();
}

std::optional<Resolution> StatedResolution(const std::string& bytes) {
  const auto perInch = [](double x, double y, bool centimetres) -> std::optional<Resolution> {
    if (!(x > 0) || !(y > 0)) return std::nullopt;
    const double factor = centimetres ? 2.54 : 1.0;
    return Resolution{x * factor, y * factor};
  };
  if (bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) {
    // The JFIF segment among the markers before the picture data.
    for (std::size_t at = 2; at + 4 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF;) {
      const auto marker = static_cast<unsigned char>(bytes[at + 1]);
      if (marker == 0xDA || marker == 0xD9) break;
      const std::size_t length = BigEndian16At(bytes.data() + at + 2);
      if (marker == 0xE0 && length >= 14 && at + 2 + length <= bytes.size() &&
          bytes.compare(at + 4, 5, std::string_view("JFIF\0", 5)) == 0) {
        const unsigned units = static_cast<unsigned char>(bytes[at + 11]);
        if (units != 1 && units != 2) return std::nullopt;
        return perInch(BigEndian16At(bytes.data() + at + 12), BigEndian16At(bytes.data() + at + 14), units == 2);
      }
      at += 2 + length;
    }
    return std::nullopt;
  }
  if (bytes.compare(0, 4, std::string_view("II*\0", 4)) != 0 && bytes.compare(0, 4, std::string_view("MM\0*", 4)) != 0)
    return std::nullopt;
  TiffMemory memory{bytes};
  TIFF* tiff = TIFFClientOpen("memory", "rm", &memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                              TiffUnmap);
  if (tiff == nullptr) return std::nullopt;
  float x = 0, y = 0;
  std::uint16_t unit = RESUNIT_NONE;
  std::optional<Resolution> stated;
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) == 1 && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) == 1 &&
      TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit) == 1 && unit != RESUNIT_NONE)
    stated = perInch(x, y, unit == RESUNIT_CENTIMETER);
  TIFFClose(tiff);
  return stated;
}

cv::Mat DecodePicture(std::string bytes, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (const std::optional<DeclaredSize> size = ReadDeclaredSize(bytes);
      size && !WithinPictureCeiling(size->width, size->height))
    return TooLarge(error, size->width, size->height);
  const auto startsWith = [&](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
  try {
    if (startsWith("\xFF\xD8\xFF")) {
      std::string why;
      cv::Mat picture = DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &why);
      if (picture.empty()) return Unreadable(error, why);
      if (picture.channels() == 1) cv::cvtColor(picture, picture, cv::COLOR_GRAY2BGR);
      return picture;
    }
    if (startsWith(std::string_view("II*\0", 4)) || startsWith(std::string_view("MM\0*", 4)))
      return DecodeTiff(std::move(bytes), error);
    if (startsWith("\x59\xA6\x6A\x95")) return DecodeSunRaster(bytes, error);
    if (startsWith("BM"))
      if (std::optional<cv::Mat> plain = DecodePlainBmp(bytes)) return std::move(*plain);
    if (std::optional<cv::Mat> tga = DecodePlainTga(bytes, error)) return std::move(*tga);
    return DecodeWithQt(bytes, error);
  } catch (const std::exception&) {
    return Unreadable(error, "no memory for the picture");
  }
}

}  // namespace orvane::imaging
