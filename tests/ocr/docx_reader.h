// Reads a Word document back for the tests: its parts through libzip, every part checked for
// well-formed XML, and the paragraphs of word/document.xml with whether all their text is bold.
#pragma once

#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QString>
#include <QXmlStreamReader>

namespace orvane::testing {

struct DocxContent {
  bool opened = false;
  std::vector<std::string> parts;       // in the archive's order
  bool wellFormed = true;               // every part
  std::vector<std::string> paragraphs;  // UTF-8
  bool allBold = true;                  // every paragraph's mark and every run
};

inline DocxContent ReadDocx(const std::filesystem::path& file) {
  DocxContent content;
  int error = 0;
  zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) return content;
  content.opened = true;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    std::string bytes(static_cast<std::size_t>(stat.size), '\0');
    zip_file_t* part = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (part == nullptr || zip_fread(part, bytes.data(), stat.size) != static_cast<zip_int64_t>(stat.size)) {
      content.wellFormed = false;
    }
    if (part != nullptr) zip_fclose(part);
    content.parts.push_back(stat.name);
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    const bool document = content.parts.back() == "word/document.xml";
    bool bold = false;
    std::string paragraph;
    while (!xml.atEnd()) {
      xml.readNext();
      if (!document) continue;
      const QStringView name = xml.name();
      if (xml.isStartElement() && name == u"p") {
        paragraph.clear();
      } else if (xml.isStartElement() && (name == u"rPr")) {
        bold = false;
      } else if (xml.isStartElement() && name == u"b") {
        bold = true;
      } else if (xml.isEndElement() && name == u"rPr") {
        content.allBold = content.allBold && bold;
      } else if (xml.isStartElement() && name == u"t") {
        paragraph += xml.readElementText().toStdString();
      } else if (xml.isEndElement() && name == u"p") {
        content.paragraphs.push_back(paragraph);
      }
    }
    if (xml.hasError()) content.wellFormed = false;
  }
  zip_close(archive);
  return content;
}

}  // namespace orvane::testing
