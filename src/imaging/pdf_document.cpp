#include "imaging/pdf_document.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include <hpdf.h>
#include <tiffio.h>

#include "imaging/conversions.h"
#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

// Quality of pictures that have to be re-encoded before they can be embedded.
constexpr int kReencodeQuality = 90;

// libharu reports through this handler with the document's own record as user data; the calls
// then return an error value, which the code below checks, so no jump is needed.
struct PdfErrors {
  HPDF_STATUS error = HPDF_OK;
};

void OnPdfError(HPDF_STATUS error, HPDF_STATUS detail, void* userData) {
  std::printf("ERROR: error_no=%04X, detail_no=%u\n", static_cast<unsigned>(error),
              static_cast<unsigned>(detail));
  std::fflush(stdout);
  auto* errors = static_cast<PdfErrors*>(userData);
  if (errors->error == HPDF_OK) errors->error = error;
}

struct DocumentDeleter {
  void operator()(HPDF_Doc document) const { HPDF_Free(document); }
};
using Document = std::unique_ptr<std::remove_pointer_t<HPDF_Doc>, DocumentDeleter>;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

bool IsJpegData(const std::string& bytes) {
  return bytes.size() > 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF;
}

bool HasTifName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".tif";
}

// The first page of a 1-bit TIFF as 0 (ink) and 255 (paper); empty for any other file.
cv::Mat ReadBilevelTiff(const fs::path& path) {
  TIFFSetWarningHandler(nullptr);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
  if (!tiff) return {};
  std::uint16_t bits = 0, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
  std::uint32_t width = 0, height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  if (bits != 1 || samples != 1 || width == 0 || height == 0 || width > 65535 || height > 65535) {
    return {};
  }
  const bool setBitIsInk = photometric != PHOTOMETRIC_MINISBLACK;
  cv::Mat grey(static_cast<int>(height), static_cast<int>(width), CV_8UC1);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())));
  if (line.size() < (width + 7) / 8) return {};
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tiff.get(), line.data(), y, 0) < 0) return {};
    auto* row = grey.ptr<std::uint8_t>(static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool set = (line[x >> 3] >> (7 - (x & 7))) & 1;
      row[x] = set == setBitIsInk ? 0 : 255;
    }
  }
  return grey;
}

// A page's picture as libharu holds it and the resolution its file states.
struct PagePicture {
  HPDF_Image image = nullptr;
  std::optional<Resolution> stated;
};

HPDF_Image LoadImage(HPDF_Doc document, const fs::path& path, const std::string& bytes) {
  if (IsJpegData(bytes)) {
    return HPDF_LoadJpegImageFromMem(document, reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                                     static_cast<HPDF_UINT>(bytes.size()));
  }
  if (HasTifName(path)) {
    cv::Mat bilevel = ReadBilevelTiff(path);
    if (!bilevel.empty()) {
      std::vector<std::uint8_t> packed = PackBilevel(bilevel);
      // The packed bits use 1 for ink, which the Group 4 coder takes as black. BlackIs1 would
      // tell readers to draw those black runs as 1, that is white in DeviceGray: a negative page.
      return HPDF_Image_LoadRaw1BitImageFromMem(
          document, packed.data(), static_cast<HPDF_UINT>(bilevel.cols),
          static_cast<HPDF_UINT>(bilevel.rows), static_cast<HPDF_UINT>((bilevel.cols + 7) / 8),
          HPDF_FALSE, HPDF_TRUE);
    }
  }
  cv::Mat picture = LoadImageFile(path);
  if (picture.empty()) return nullptr;
  const std::string jpeg = EncodeJpeg(picture, 96, 96, kReencodeQuality);
  if (jpeg.empty()) return nullptr;
  return HPDF_LoadJpegImageFromMem(document, reinterpret_cast<const HPDF_BYTE*>(jpeg.data()),
                                   static_cast<HPDF_UINT>(jpeg.size()));
}

PagePicture LoadPicture(HPDF_Doc document, const fs::path& path) {
  const std::optional<std::string> bytes = platform::ReadWholeFile(path, kMaxPictureFileBytes);
  if (!bytes) return {};
  return {LoadImage(document, path, *bytes), StatedResolution(*bytes)};
}

// Points (1/72 inch) for `pixels` at `dpi` dots per inch; one a pixel where no DPI is known (0).
HPDF_REAL Points(HPDF_UINT pixels, double dpi) {
  return static_cast<HPDF_REAL>(dpi > 0 ? pixels * 72.0 / dpi : pixels);
}

bool FitsAPage(HPDF_REAL width, HPDF_REAL height) {
  return std::min(width, height) >= HPDF_MIN_PAGE_SIZE && std::max(width, height) <= HPDF_MAX_PAGE_SIZE;
}

}  // namespace

bool WritePicturesToPdf(const fs::path& target, const std::vector<fs::path>& pictures,
                        const platform::FilePlacement& placement, fs::path* written,
                        std::optional<Resolution> fallback) {
  if (target.empty() || pictures.empty()) return false;
  PdfErrors errors;
  Document document(HPDF_New(OnPdfError, &errors));
  if (!document) {
    std::printf("error: cannot create PdfDoc object\n");
    return false;
  }
  HPDF_SetPageMode(document.get(), HPDF_PAGE_MODE_USE_NONE);
  HPDF_SetCompressionMode(document.get(), HPDF_COMP_ALL);
  for (const fs::path& picture : pictures) {
    HPDF_Page page = HPDF_AddPage(document.get());
    const PagePicture loaded = page ? LoadPicture(document.get(), picture) : PagePicture();
    if (loaded.image == nullptr || errors.error != HPDF_OK) return false;
    const Resolution resolution = loaded.stated.value_or(fallback.value_or(Resolution{}));
    HPDF_REAL width = Points(HPDF_Image_GetWidth(loaded.image), resolution.x);
    HPDF_REAL height = Points(HPDF_Image_GetHeight(loaded.image), resolution.y);
    // A resolution that makes a page smaller or larger than a PDF page may be (a few pixels at a
    // high DPI, a wide picture claiming 1 DPI) leaves the page at one pixel a point.
    if (!FitsAPage(width, height)) {
      width = Points(HPDF_Image_GetWidth(loaded.image), 0);
      height = Points(HPDF_Image_GetHeight(loaded.image), 0);
    }
    HPDF_Page_SetWidth(page, width);
    HPDF_Page_SetHeight(page, height);
    HPDF_Page_DrawImage(page, loaded.image, 0, 0, width, height);
    if (errors.error != HPDF_OK) return false;
  }
  // libharu's own file output does not check its last writes; its memory stream is read out in
  // pieces into a file whose every write is checked.
  if (HPDF_SaveToStream(document.get()) != HPDF_OK || HPDF_ResetStream(document.get()) != HPDF_OK ||
      errors.error != HPDF_OK) {
    return false;
  }
  platform::PendingFile pending(target);
  if (!pending.ok()) return false;
  std::vector<HPDF_BYTE> piece(1 << 16);
  for (HPDF_UINT32 left = HPDF_GetStreamSize(document.get()); left > 0;) {
    HPDF_UINT32 size = std::min<HPDF_UINT32>(left, static_cast<HPDF_UINT32>(piece.size()));
    const HPDF_STATUS read = HPDF_ReadFromStream(document.get(), piece.data(), &size);
    if ((read != HPDF_OK && read != HPDF_STREAM_EOF) || size == 0) return false;
    if (!pending.Write({reinterpret_cast<const char*>(piece.data()), size})) return false;
    left -= std::min(left, size);
  }
  std::optional<fs::path> placed = pending.Commit(placement);
  if (!placed) return false;
  if (written != nullptr) *written = std::move(*placed);
  return true;
}

fs::path PdfPathFor(const fs::path& picture) {
  fs::path pdf = picture;
  return pdf.replace_extension(".pdf");
}

bool CPdfWriter::EnsurePdfExtension(const fs::path& path) {
  path_ = PdfPathFor(path);
  return true;
}

bool CPdfWriter::SetResolution(int horizontal, int vertical) {
  if (horizontal < 1 || vertical < 1) return false;
  fallback_ = Resolution{static_cast<double>(horizontal), static_cast<double>(vertical)};
  return true;
}

int CPdfWriter::CreatePdfFromImages(const std::vector<fs::path>& files,
                                    const platform::FilePlacement& placement, fs::path* written) {
  return WritePicturesToPdf(path_, files, placement, written, fallback_) ? 0 : 1;
}

}  // namespace orvane::imaging
