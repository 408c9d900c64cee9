#include "app/oem_data.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/codepage.h"
#include "platform/file_io.h"

namespace orvane {
namespace {

// Longest texts the trailing fields hold, in bytes of the file's 8-bit text.
constexpr std::size_t kProductNameLimit = 255;
constexpr std::size_t kNoticeTextLimit = 255;

std::uint32_t LoadUint32(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

// Little-endian reads from the file's bytes; each checks what is left before reading.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : rest_(bytes) {}

  bool AtEnd() const { return rest_.empty(); }
  std::uint64_t left() const { return rest_.size(); }

  std::optional<std::string_view> ReadBytes(std::uint64_t count) {
    if (count > rest_.size()) return std::nullopt;
    std::string_view bytes = rest_.substr(0, static_cast<std::size_t>(count));
    rest_.remove_prefix(bytes.size());
    return bytes;
  }

  std::optional<std::int32_t> ReadInt32() {
    auto bytes = ReadBytes(4);
    if (!bytes) return std::nullopt;
    return static_cast<std::int32_t>(LoadUint32(bytes->data()));
  }

 private:
  std::string_view rest_;
};

// Rows of width * 3 bytes, each padded to a multiple of 4 in the file.
std::optional<BgrPicture> ReadPictureRows(ByteReader& reader, std::int32_t height, std::int32_t width) {
  if (height <= 0 || width <= 0) return std::nullopt;
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * 3;
  const std::uint64_t stride = (rowBytes + 3) / 4 * 4;
  if (static_cast<std::uint64_t>(height) > reader.left() / stride) return std::nullopt;

  BgrPicture picture{width, height, {}};
  picture.pixels.reserve(static_cast<std::size_t>(rowBytes * static_cast<std::uint64_t>(height)));
  for (std::int32_t y = 0; y < height; ++y) {
    std::string_view row = *reader.ReadBytes(stride);
    picture.pixels.insert(picture.pixels.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(rowBytes));
  }
  return picture;
}

// int32 n, n values A, n values B; character i is the low byte of B[i] - A[i]. The text ends at
// its first NUL, as it did in the C strings it was made for.
std::optional<std::string> ReadScrambledText(ByteReader& reader) {
  auto count = reader.ReadInt32();
  if (!count || *count < 0) return std::nullopt;
  const auto length = static_cast<std::uint64_t>(*count);
  if (length > reader.left() / 8) return std::nullopt;
  std::string_view minuends = *reader.ReadBytes(length * 4);
  std::string_view subtrahends = *reader.ReadBytes(length * 4);

  std::string text;
  text.reserve(static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < length; ++i) {
    std::uint32_t difference = LoadUint32(&subtrahends[i * 4]) - LoadUint32(&minuends[i * 4]);
    text.push_back(static_cast<char>(difference & 0xFF));
  }
  text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

// Cuts a GBK text to `limit` bytes without keeping the first half of a double-byte character.
void CutGbkText(std::string& text, std::size_t limit) {
  if (text.size() <= limit) return;
  std::size_t end = 0;
  while (end < limit) {
    auto byte = static_cast<unsigned char>(text[end]);
    std::size_t length = byte >= 0x81 && byte <= 0xFE ? 2 : 1;
    if (end + length > limit) break;
    end += length;
  }
  text.resize(end);
}

// Bytes GBK cannot decode become U+FFFD.
std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  auto codePoints = platform::DecodeText(gbk, platform::kGbkCharset);
  if (!codePoints) return std::nullopt;
  auto utf8 = platform::EncodeText(*codePoints, platform::kUtf8Charset);
  if (!utf8) return std::nullopt;
  return std::move(utf8->bytes);
}

std::optional<std::string> ReadText(ByteReader& reader, std::size_t limit = std::string::npos) {
  auto text = ReadScrambledText(reader);
  if (!text) return std::nullopt;
  CutGbkText(*text, limit);
  return GbkToUtf8(*text);
}

std::vector<std::string> SplitItems(std::string_view text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t start = 0;
  while (true) {
    std::size_t separator = text.find(';', start);
    items.emplace_back(text.substr(start, separator - start));
    if (separator == std::string_view::npos) return items;
    start = separator + 1;
  }
}

}  // namespace

COemData& COemData::Instance() {
  static COemData instance;
  return instance;
}

int COemData::Load(const std::filesystem::path& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return -1;
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return -1;
  ByteReader reader(*bytes);

  // Filled aside and taken over whole, so a damaged file leaves this record as it was.
  COemData loaded;
  auto logoHeight = reader.ReadInt32();
  auto logoWidth = reader.ReadInt32();
  if (!logoHeight || !logoWidth) return -1;
  loaded.logo_ = ReadPictureRows(reader, *logoHeight, *logoWidth);
  if (!loaded.logo_) return -1;

  auto link = ReadText(reader);
  if (!link) return -1;
  loaded.link_ = std::move(*link);

  auto splashHeight = reader.ReadInt32();
  if (!splashHeight) return -1;
  if (*splashHeight != 0) {
    auto splashWidth = reader.ReadInt32();
    if (!splashWidth) return -1;
    loaded.splash_ = ReadPictureRows(reader, *splashHeight, *splashWidth);
    if (!loaded.splash_) return -1;
  }

  auto items = ReadText(reader);
  if (!items) return -1;
  loaded.items_ = SplitItems(*items);

  // The trailing parts came later: each is taken when it is whole, and a damaged one ends the
  // reading, since what follows it cannot be located.
  auto readTrailingParts = [&] {
    if (reader.AtEnd()) return;
    auto flag = reader.ReadBytes(4);
    if (!flag) return;
    loaded.noticeShown_ = (*flag)[0] != (*flag)[1];

    // A text nothing shows; it is only stepped over.
    if (reader.AtEnd() || !ReadScrambledText(reader)) return;

    if (reader.AtEnd()) return;
    auto productName = ReadText(reader, kProductNameLimit);
    if (!productName) return;
    loaded.productName_ = std::move(*productName);

    if (reader.AtEnd()) return;
    auto noticeText = ReadText(reader, kNoticeTextLimit);
    if (!noticeText) return;
    loaded.noticeText_ = std::move(*noticeText);
  };
  readTrailingParts();

  *this = std::move(loaded);
  return 0;
}

}  // namespace orvane
