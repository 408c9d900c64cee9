// The settings file accessor: an INI reader and writer of the program's own, with the matching
// rules of the Windows profile functions (sections and keys without regard to case, values
// trimmed), UTF-8 text, the file's own order of lines kept, and the whole file written at once.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The parsed text of one INI file. Lines it does not understand (comments, blank lines) are kept
// where they stand, so a rewrite changes only the values that were set.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);
  std::string Serialize() const;

  // The value of the first matching key in the first matching section.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Replaces the value of an existing key, else appends the key to its section, else appends the
  // section to the file. A line break in the value would break the file: it becomes a blank.
  void Set(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct Line {
    std::string key;  // empty for a line that holds no key
    std::string value;
    std::string raw;  // the line as it stood, for lines without a key
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };

  Section* FindSection(std::string_view name);
  const Section* FindSection(std::string_view name) const;

  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
};

// `CIniFile`: the path of an existing settings file, and reads and writes of its keys.
class CIniFile {
 public:
  // Keeps the path when the file exists; otherwise keeps the old path and returns false.
  bool SetPath(const std::filesystem::path& path);
  const std::filesystem::path& GetPath() const { return path_; }

  // The value of [section] key; empty when it or the file is missing or the file cannot be read.
  std::string ReadString(std::string_view section, std::string_view key) const;
  // Writes one key, the whole file at once. With `overwrite` false a missing key is not created
  // (and that counts as success). A file that cannot be read is left as it is (false).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                   bool overwrite = true);

  // The whole file, parsed once, for reading or changing many keys; empty when it is missing.
  // Nothing when it is there but cannot be read: not a regular file, no permission, an I/O
  // error, or past the megabyte no settings file comes near. Such a file is never to be written
  // over, as what it holds is not known.
  std::optional<IniDocument> Read() const;
  // Replaces the file by `document`, whole or not at all.
  bool Write(const IniDocument& document) const;

  bool operator==(const CIniFile&) const = default;

 private:
  std::filesystem::path path_;
};

}  // namespace orvane
