#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <strings.h>

namespace orvane::platform {

namespace {

constexpr const char* kUtf32Charset = "UTF-32LE";
constexpr char32_t kReplacement = 0xFFFD;

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  enum class Stop { Done, Invalid, Incomplete, Failed };

  // Converts as much of `in` as it can, appending to `out`; `in` keeps what is left.
  Stop Run(std::string_view& in, std::string& out) {
    std::array<char, 4096> chunk;
    while (true) {
      char* source = const_cast<char*>(in.data());
      std::size_t sourceLeft = in.size();
      char* target = chunk.data();
      std::size_t targetLeft = chunk.size();
      std::size_t result = in.empty() ? iconv(handle_, nullptr, nullptr, &target, &targetLeft)
                                      : iconv(handle_, &source, &sourceLeft, &target, &targetLeft);
      int error = errno;
      out.append(chunk.data(), chunk.size() - targetLeft);
      in.remove_prefix(in.size() - sourceLeft);
      if (result != static_cast<std::size_t>(-1)) {
        if (in.empty()) return Stop::Done;
        continue;
      }
      if (error == E2BIG) continue;
      if (error == EILSEQ) return Stop::Invalid;
      if (error == EINVAL) return Stop::Incomplete;
      return Stop::Failed;
    }
  }

 private:
  iconv_t handle_;
};

void AppendCodePoint(std::u32string& text, std::string_view utf32) {
  for (std::size_t i = 0; i + 4 <= utf32.size(); i += 4) {
    char32_t value = static_cast<unsigned char>(utf32[i]) |
                     static_cast<char32_t>(static_cast<unsigned char>(utf32[i + 1])) << 8 |
                     static_cast<char32_t>(static_cast<unsigned char>(utf32[i + 2])) << 16 |
                     static_cast<char32_t>(static_cast<unsigned char>(utf32[i + 3])) << 24;
    text.push_back(value);
  }
}

std::string ToUtf32Bytes(std::u32string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 4);
  for (char32_t value : text) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  return bytes;
}

bool IsUtf8(const char* charset) { return strcasecmp(charset, kUtf8Charset) == 0; }

}  // namespace

std::optional<std::u32string> DecodeText(std::string_view bytes, const char* charset) {
  Converter converter(kUtf32Charset, charset);
  if (!converter.valid()) return std::nullopt;
  std::u32string text;
  std::string utf32;
  while (true) {
    Converter::Stop stop = converter.Run(bytes, utf32);
    AppendCodePoint(text, utf32);
    utf32.clear();
    if (stop == Converter::Stop::Done) return text;
    if (stop == Converter::Stop::Failed) return std::nullopt;
    text.push_back(kReplacement);
    bytes.remove_prefix(1);
    if (bytes.empty()) return text;
  }
}

std::optional<EncodedText> EncodeText(std::u32string_view text, const char* charset) {
  Converter converter(charset, kUtf32Charset);
  if (!converter.valid()) return std::nullopt;
  const std::string substitute = IsUtf8(charset) ? "\xEF\xBF\xBD" : "?";
  std::string utf32 = ToUtf32Bytes(text);
  std::string_view rest = utf32;
  EncodedText encoded;
  while (true) {
    Converter::Stop stop = converter.Run(rest, encoded.bytes);
    if (stop == Converter::Stop::Done) return encoded;
    if (stop == Converter::Stop::Failed) return std::nullopt;
    encoded.bytes += substitute;
    encoded.lossy = true;
    rest.remove_prefix(std::min<std::size_t>(4, rest.size()));
    if (rest.empty()) return encoded;
  }
}

std::optional<std::string> ConvertText(std::string_view bytes, const char* from, const char* to) {
  Converter converter(to, from);
  if (!converter.valid()) return std::nullopt;
  std::string out;
  if (converter.Run(bytes, out) != Converter::Stop::Done) return std::nullopt;
  return out;
}

}  // namespace orvane::platform
