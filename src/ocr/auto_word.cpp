#include "ocr/auto_word.h"

#include <zip.h>

#include <memory>
#include <vector>

#include "platform/file_io.h"

namespace orvane::ocr {
namespace {

constexpr std::string_view kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/word/document.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
    R"(</Types>)";

constexpr std::string_view kRelationships =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" )"
    R"(Target="word/document.xml"/>)"
    R"(</Relationships>)";

// Decodes the UTF-8 character at the start of `s` into `*c`: its length, or 0 when the first
// byte starts no character.
std::size_t DecodeUtf8(std::string_view s, char32_t* c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) return *c = lead, 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, *c = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, *c = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, *c = lead & 0x07;
  else return 0;
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    *c = *c << 6 | (byte(i) & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (*c < kSmallest[length] || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return 0;
  return length;
}

// Tabs and printable characters; XML 1.0 cannot carry the other C0 controls nor U+FFFE and
// U+FFFF, and DEL and the C1 controls are no text.
bool IsText(char32_t c) { return c == '\t' || (c >= 0x20 && c < 0x7F) || (c > 0x9F && c != 0xFFFE && c != 0xFFFF); }

std::string DocumentXml(std::string_view text) {
  std::string xml =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      "\n"
      R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>)";
  const auto paragraph = [&](std::string_view line) {
    xml += R"(<w:p><w:pPr><w:rPr><w:b/></w:rPr></w:pPr>)";
    if (!line.empty()) {
      xml += R"(<w:r><w:rPr><w:b/></w:rPr><w:t xml:space="preserve">)";
      xml += XmlText(line);
      xml += "</w:t></w:r>";
    }
    xml += "</w:p>";
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    paragraph(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size() || text.empty()) paragraph(text.substr(start));
  xml += "<w:sectPr/></w:body></w:document>";
  return xml;
}

struct ZipSourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using ZipSource = std::unique_ptr<zip_source_t, ZipSourceFree>;

// The bytes a buffer source holds.
std::string ReadAll(zip_source_t* source) {
  if (zip_source_open(source) < 0) return {};
  std::string bytes;
  if (zip_source_seek(source, 0, SEEK_END) == 0) {
    const zip_int64_t size = zip_source_tell(source);
    if (size > 0 && zip_source_seek(source, 0, SEEK_SET) == 0) {
      bytes.resize(static_cast<std::size_t>(size));
      if (zip_source_read(source, bytes.data(), static_cast<zip_uint64_t>(size)) != size) bytes.clear();
    }
  }
  zip_source_close(source);
  return bytes;
}

}  // namespace

std::string XmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, &c);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no character
      text.remove_prefix(1);
      continue;
    }
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (IsText(c)) out.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  return out;
}

std::string MakeDocx(std::string_view text) {
  const std::string document = DocumentXml(text);
  zip_error_t error;
  zip_error_init(&error);
  ZipSource buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
  zip_error_fini(&error);
  if (!buffer) return {};
  zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, nullptr);
  if (archive == nullptr) return {};
  // The archive frees its source when it closes; the bytes are read from it afterwards.
  zip_source_keep(buffer.get());
  const std::pair<const char*, std::string_view> parts[] = {
      {"[Content_Types].xml", kContentTypes}, {"_rels/.rels", kRelationships}, {"word/document.xml", document}};
  for (const auto& [name, content] : parts) {
    zip_source_t* part = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (part == nullptr || zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(part);
      zip_discard(archive);
      return {};
    }
  }
  if (zip_close(archive) < 0) {
    zip_discard(archive);
    return {};
  }
  return ReadAll(buffer.get());
}

int CAutoWord::CreateDocument() {
  if (path_.empty()) return 1;
  const std::string bytes = MakeDocx(text_);
  if (bytes.empty()) return 1;
  std::optional<std::filesystem::path> written;
  // The replacing write fails on a read-only file and leaves it as it was; the text then goes
  // under a free name rather than be lost.
  if (replace_) written = platform::WriteFile(path_, bytes, platform::FilePlacement::Replacing());
  if (!written) written = platform::WriteFile(path_, bytes, platform::FilePlacement::NewFile(platform::NextDashedName));
  if (!written) return 1;
  written_ = *written;
  return 0;
}

}  // namespace orvane::ocr
