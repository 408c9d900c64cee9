// Encoding of the branding file "data.dat", for the branding tool and for tests that need such
// files, well-formed or damaged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/oem_data.h"

namespace orvane::branding {

// The A values of the scrambled texts: a fixed xorshift sequence, so that the same content
// always gives the same file.
class ScrambleKeys {
 public:
  std::uint32_t Next();

 private:
  std::uint32_t state_ = 0x9E3779B9u;
};

void AppendInt32(std::string& out, std::int32_t value);

// n, then n values A and n values B, the low byte of B[i] - A[i] being byte i of `bytes`.
void AppendScrambledText(std::string& out, std::string_view bytes, ScrambleKeys& keys);

// What the file carries. Texts are UTF-8 and stored as GBK.
struct OemContent {
  BgrPicture logo;
  std::optional<BgrPicture> splash;
  std::string link;
  std::vector<std::string> items;
  bool noticeShown = true;
  std::string productName;
  std::string noticeText;
};

// The file's bytes; the trailing notice flag, product name and notice text are written only as
// far as they differ from what a reader assumes without them. Nothing, with the reason in
// `error`, when a picture is malformed or a text would not read back as given: not UTF-8,
// beyond GBK, holding a NUL, longer than the reader keeps, or an item empty or holding ";".
std::optional<std::string> EncodeOemData(const OemContent& content, std::string& error);

// Encodes `content` and writes `target` whole or not at all.
bool WriteOemData(const std::filesystem::path& target, const OemContent& content, std::string& error);

}  // namespace orvane::branding
