// Whole-file reading and writing. Every file the program writes is written whole or not at all.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::platform {

// The whole file as bytes; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Writes `contents` to a unique temporary file beside `target`, flushes it and renames it over
// `target`. An existing target keeps its permissions; a read-only target (no write bit, even for
// root) is left untouched and the call fails. The temporary file never outlives a failure.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view contents);

}  // namespace orvane::platform
