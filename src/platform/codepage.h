// Character-set conversion through iconv. Inside the program every text is UTF-8; legacy 8-bit
// code pages appear only where stored data is fixed in one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane::platform {

// The iconv names of the code pages the program meets.
inline constexpr const char* kUtf8Charset = "UTF-8";
inline constexpr const char* kGbkCharset = "GBK";    // Windows code page 936
inline constexpr const char* kBig5Charset = "BIG5";  // Windows code page 950
// The program's "ANSI code page": file names, settings and logs are UTF-8.
inline constexpr const char* kAnsiCharset = kUtf8Charset;

// Decodes `bytes` of `charset` into code points. A byte that starts no valid sequence becomes
// U+FFFD, as the Windows conversion does without its strict flag. Nothing when iconv does not
// know the charset.
std::optional<std::u32string> DecodeText(std::string_view bytes, const char* charset);

struct EncodedText {
  std::string bytes;
  bool lossy = false;  // some code point could not be held and was substituted
};

// Encodes code points into `charset`. A code point the charset cannot hold becomes "?" (U+FFFD
// for UTF-8), as the Windows conversion does. Nothing when iconv does not know the charset.
std::optional<EncodedText> EncodeText(std::u32string_view text, const char* charset);

// Strict conversion between two charsets: nothing when the input is invalid or cannot be held.
std::optional<std::string> ConvertText(std::string_view bytes, const char* from, const char* to);

}  // namespace orvane::platform
