#include "branding/oem_writer.h"

#include "platform/codepage.h"
#include "platform/file_io.h"

namespace orvane::branding {
namespace {

// The reader keeps at most this many bytes of the product name and of the notice text.
constexpr std::size_t kTrailingTextLimit = 255;

void AppendUint32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

bool CheckPicture(const BgrPicture& picture, const std::string& what, std::string& error) {
  if (picture.width <= 0 || picture.height <= 0) {
    error = what + " is empty";
    return false;
  }
  const auto expected = static_cast<std::uint64_t>(picture.width) * static_cast<std::uint64_t>(picture.height) * 3;
  if (picture.pixels.size() != expected) {
    error = what + " holds " + std::to_string(picture.pixels.size()) + " bytes instead of " +
            std::to_string(expected);
    return false;
  }
  return true;
}

// Rows of width * 3 bytes padded with zeros to a multiple of 4.
void AppendPictureRows(std::string& out, const BgrPicture& picture) {
  const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
  const std::size_t padding = (4 - rowBytes % 4) % 4;
  for (std::size_t y = 0; y < static_cast<std::size_t>(picture.height); ++y) {
    const auto* row = picture.pixels.data() + y * rowBytes;
    out.append(reinterpret_cast<const char*>(row), rowBytes);
    out.append(padding, '\0');
  }
}

std::optional<std::string> ToGbk(std::string_view utf8, const std::string& what, std::size_t limit,
                                 std::string& error) {
  if (utf8.find('\0') != std::string_view::npos) {
    error = what + " holds a NUL character";
    return std::nullopt;
  }
  if (!platform::ConvertText(utf8, platform::kUtf8Charset, platform::kUtf8Charset)) {
    error = what + " is not valid UTF-8";
    return std::nullopt;
  }
  auto gbk = platform::ConvertText(utf8, platform::kUtf8Charset, platform::kGbkCharset);
  if (!gbk) {
    error = what + " \"" + std::string(utf8) + "\" holds a character GBK cannot store";
    return std::nullopt;
  }
  if (gbk->size() > limit) {
    error = what + " takes " + std::to_string(gbk->size()) + " bytes in GBK, more than the " +
            std::to_string(limit) + " a reader keeps";
    return std::nullopt;
  }
  return gbk;
}

std::optional<std::string> JoinItems(const std::vector<std::string>& items, std::string& error) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    // The reader splits at ";", so an empty item or one holding ";" would not come back as given.
    if (items[i].empty()) {
      error = "item " + std::to_string(i + 1) + " is empty";
      return std::nullopt;
    }
    if (items[i].find(';') != std::string::npos) {
      error = "item " + std::to_string(i + 1) + " \"" + items[i] + "\" holds \";\"";
      return std::nullopt;
    }
    if (i > 0) joined += ';';
    joined += items[i];
  }
  return joined;
}

}  // namespace

std::uint32_t ScrambleKeys::Next() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

void AppendInt32(std::string& out, std::int32_t value) { AppendUint32(out, static_cast<std::uint32_t>(value)); }

void AppendScrambledText(std::string& out, std::string_view bytes, ScrambleKeys& keys) {
  AppendInt32(out, static_cast<std::int32_t>(bytes.size()));
  std::vector<std::uint32_t> minuends;
  minuends.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) minuends.push_back(keys.Next());
  for (std::uint32_t minuend : minuends) AppendUint32(out, minuend);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    AppendUint32(out, minuends[i] + static_cast<unsigned char>(bytes[i]));
  }
}

std::optional<std::string> EncodeOemData(const OemContent& content, std::string& error) {
  if (!CheckPicture(content.logo, "the logo picture", error)) return std::nullopt;
  if (content.splash && !CheckPicture(*content.splash, "the splash picture", error)) return std::nullopt;

  auto link = ToGbk(content.link, "the link", std::string::npos, error);
  if (!link) return std::nullopt;
  auto joinedItems = JoinItems(content.items, error);
  if (!joinedItems) return std::nullopt;
  auto items = ToGbk(*joinedItems, "the item list", std::string::npos, error);
  if (!items) return std::nullopt;
  auto productName = ToGbk(content.productName, "the product name", kTrailingTextLimit, error);
  if (!productName) return std::nullopt;
  auto noticeText = ToGbk(content.noticeText, "the notice text", kTrailingTextLimit, error);
  if (!noticeText) return std::nullopt;

  ScrambleKeys keys;
  std::string out;
  AppendInt32(out, content.logo.height);
  AppendInt32(out, content.logo.width);
  AppendPictureRows(out, content.logo);
  AppendScrambledText(out, *link, keys);
  if (content.splash) {
    AppendInt32(out, content.splash->height);
    AppendInt32(out, content.splash->width);
    AppendPictureRows(out, *content.splash);
  } else {
    AppendInt32(out, 0);
  }
  AppendScrambledText(out, *items, keys);

  // A reader that finds the file ending here shows the notice line, with no product name and no
  // notice text.
  const bool withNoticeText = !noticeText->empty();
  const bool withProductName = withNoticeText || !productName->empty();
  if (withProductName || !content.noticeShown) {
    // The line is shown when the first two bytes differ.
    out += content.noticeShown ? std::string("\1\0\0\0", 4) : std::string(4, '\0');
  }
  if (withProductName) {
    AppendScrambledText(out, "", keys);  // a text no reader shows, kept for the layout
    AppendScrambledText(out, *productName, keys);
  }
  if (withNoticeText) AppendScrambledText(out, *noticeText, keys);
  return out;
}

bool WriteOemData(const std::filesystem::path& target, const OemContent& content, std::string& error) {
  auto bytes = EncodeOemData(content, error);
  if (!bytes) return false;
  if (!platform::WriteFileAtomically(target, *bytes)) {
    error = "cannot write " + target.string();
    return false;
  }
  return true;
}

}  // namespace orvane::branding
