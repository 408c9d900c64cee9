// `CAutoWord`: writes a recognised text into a Word document, an Office Open XML package
// ([Content_Types].xml, _rels/.rels, word/document.xml) zipped with libzip. Every line of the
// text becomes one bold paragraph. The file is written whole or not at all.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane::ocr {

class CAutoWord {
 public:
  CAutoWord() = default;
  virtual ~CAutoWord() = default;
  CAutoWord(const CAutoWord&) = delete;
  CAutoWord& operator=(const CAutoWord&) = delete;

  void SetPath(const std::filesystem::path& path) { path_ = path; }
  // UTF-8; lines end in "\r\n", "\n" or "\r".
  void SetText(std::string text) { text_ = std::move(text); }
  // Whether a file at the path may be replaced (the user said so); off at first.
  void SetReplace(bool replace) { replace_ = replace; }
  // 0 when the document was written, 1 when it could not be (nothing is left at the path then,
  // and a file already there is kept). Unless replacing was allowed, a document never replaces
  // another file: when the name is taken it moves on to "-2", "-3", ... A read-only file is never
  // replaced; the document moves on from it as from any other.
  int CreateDocument();
  // Where the last document was written.
  const std::filesystem::path& WrittenPath() const { return written_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path written_;
  std::string text_;
  bool replace_ = false;
};

// The package's bytes for `text`; empty when libzip fails.
std::string MakeDocx(std::string_view text);

// `text` as XML character data: "&", "<", ">" escaped, control characters dropped and bytes that
// are not UTF-8 replaced by U+FFFD, so that any recogniser output gives a readable document.
std::string XmlText(std::string_view text);

}  // namespace orvane::ocr
