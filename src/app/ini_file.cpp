#include "app/ini_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/file_io.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

// A settings file holds a few kilobytes; one past a megabyte is none the program wrote.
constexpr std::uintmax_t kMaxIniFileBytes = std::uintmax_t{1} << 20;

std::string_view Trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\v\f";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string SingleLine(std::string_view value) {
  std::string line(Trim(value));
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

}  // namespace

// What reading gives is what writing keeps: a value holds no line break (a CR inside it reads as
// the blank a save would write), a line ends in all its CRs and its LF, and any number of
// byte-order marks from editors start the file. So a file the program wrote reads back to the
// same record, and saving it again changes nothing.
IniDocument IniDocument::Parse(std::string_view text) {
  while (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  IniDocument document;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    std::string_view line = Trim(raw);
    if (line.size() >= 2 && line.front() == '[') {
      std::size_t close = line.find(']');
      if (close != std::string_view::npos) {
        document.sections_.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
        continue;
      }
    }
    Line parsed;
    std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && line.front() != ';' && !Trim(line.substr(0, equals)).empty()) {
      parsed.key = Trim(line.substr(0, equals));
      parsed.value = SingleLine(line.substr(equals + 1));
    } else {
      parsed.raw = raw;
    }
    if (document.sections_.empty()) {
      document.preamble_.push_back(std::string(raw));
    } else {
      document.sections_.back().lines.push_back(std::move(parsed));
    }
  }
  return document;
}

std::string IniDocument::Serialize() const {
  std::string text;
  for (const std::string& line : preamble_) text += line + "\n";
  for (const Section& section : sections_) {
    text += "[" + section.name + "]\n";
    for (const Line& line : section.lines) {
      text += line.key.empty() ? line.raw : line.key + "=" + line.value;
      text += "\n";
    }
  }
  return text;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
  auto found = std::find_if(sections_.begin(), sections_.end(),
                            [&](const Section& s) { return EqualsIgnoringCase(s.name, name); });
  return found == sections_.end() ? nullptr : &*found;
}

IniDocument::Section* IniDocument::FindSection(std::string_view name) {
  return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  for (const Line& line : found->lines) {
    if (!line.key.empty() && EqualsIgnoringCase(line.key, key)) return line.value;
  }
  return std::nullopt;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back({std::string(section), {}});
    found = &sections_.back();
  }
  for (Line& line : found->lines) {
    if (!line.key.empty() && EqualsIgnoringCase(line.key, key)) {
      line.value = SingleLine(value);
      return;
    }
  }
  // New keys go after the section's last line, before the blank lines that close it.
  auto afterLast = std::find_if(found->lines.rbegin(), found->lines.rend(), [](const Line& line) {
    return !line.key.empty() || !Trim(line.raw).empty();
  });
  found->lines.insert(afterLast.base(), Line{std::string(key), SingleLine(value), {}});
}

bool CIniFile::SetPath(const fs::path& path) {
  std::error_code error;
  if (path.empty() || !fs::exists(path, error)) return false;
  path_ = path;
  return true;
}

std::optional<IniDocument> CIniFile::Read() const {
  if (path_.empty()) return IniDocument();
  platform::ReadFailure failure{};
  const std::optional<std::string> text = platform::ReadWholeFile(path_, kMaxIniFileBytes, &failure);
  if (text) return IniDocument::Parse(*text);
  if (failure == platform::ReadFailure::kMissing) return IniDocument();
  return std::nullopt;
}

bool CIniFile::Write(const IniDocument& document) const {
  if (path_.empty()) return false;
  return platform::WriteFileAtomically(path_, document.Serialize());
}

std::string CIniFile::ReadString(std::string_view section, std::string_view key) const {
  const std::optional<IniDocument> document = Read();
  return document ? document->Get(section, key).value_or(std::string()) : std::string();
}

bool CIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                           bool overwrite) {
  std::optional<IniDocument> document = Read();
  if (!document) return false;
  if (!overwrite && !document->Get(section, key)) return true;
  document->Set(section, key, value);
  return Write(*document);
}

}  // namespace orvane
