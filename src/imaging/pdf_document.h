// PDF documents through libharu: one picture per page, each page as large as its picture at the
// picture's resolution (an A4 page captured at any DPI is an A4 page). JPEG data is embedded as it
// is, black-and-white TIFF pages as CCITT Group 4, every other picture re-encoded as JPEG first.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "imaging/picture_codecs.h"
#include "platform/file_io.h"

namespace orvane::imaging {

// Writes one page per picture file, in list order, into `target`. A page is sized by the
// resolution its picture states (a JPEG's JFIF density, a TIFF's resolution), else by `fallback`
// (the DPI the pictures were captured at), else at one pixel per point. The document is built in
// memory and written whole or not at all; it takes its name by `placement` (by default it never
// replaces a file and fails when the name is taken), and `written`, when given, receives the
// path it got. False when the list is empty, a picture cannot be read, libharu reports an error
// or the file cannot be written.
bool WritePicturesToPdf(const std::filesystem::path& target,
                        const std::vector<std::filesystem::path>& pictures,
                        const platform::FilePlacement& placement = {},
                        std::filesystem::path* written = nullptr,
                        std::optional<Resolution> fallback = std::nullopt);

// The picture's path with its own extension replaced by ".pdf" (appended when it has none).
std::filesystem::path PdfPathFor(const std::filesystem::path& picture);

// Joins picture files into one multipage PDF for the multipage composer.
class CPdfWriter {
 public:
  // The target becomes `path` with the file's own extension replaced by ".pdf"; a dot in a folder
  // name stays. Always true.
  bool EnsurePdfExtension(const std::filesystem::path& path);
  // The resolution of the pages whose picture states none (see WritePicturesToPdf); false (and
  // unchanged) when either value is below 1.
  bool SetResolution(int horizontal, int vertical);
  // 0 when the PDF was written to the target, 1 when not (see WritePicturesToPdf); `written`,
  // when given, receives the path it got. A file the user chose to replace needs
  // FilePlacement::Replacing().
  int CreatePdfFromImages(const std::vector<std::filesystem::path>& files,
                          const platform::FilePlacement& placement = {},
                          std::filesystem::path* written = nullptr);

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<Resolution> fallback_;
};

}  // namespace orvane::imaging
