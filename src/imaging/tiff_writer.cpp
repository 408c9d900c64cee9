#include "imaging/tiff_writer.h"

#include <unistd.h>

#include <system_error>

#include <opencv2/imgproc.hpp>
#include <tiffio.h>

#include "imaging/conversions.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

// One 8-bit channel, more channels through the RGB-to-grey weights the documents use.
bool ToGreyPage(const cv::Mat& picture, cv::Mat& grey) {
  if (picture.empty() || picture.depth() != CV_8U || picture.channels() > 4) return false;
  if (picture.channels() == 2) {
    cv::extractChannel(picture, grey, 0);
    return true;
  }
  grey = ToGrey(picture, GreyConversion::kRgbToGreyOnBgr);
  return !grey.empty();
}

void SetResolutionTags(TIFF* tiff, int xDpi, int yDpi) {
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<double>(xDpi));
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<double>(yDpi));
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
}

// The bilevel page directory and its one strip; the page keeps its own width.
bool WriteBilevel(TIFF* tiff, int width, int height, const std::vector<std::uint8_t>& bits,
                  int xDpi, int yDpi) {
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  SetResolutionTags(tiff, xDpi, yDpi);
  // libtiff's encoder takes a non-const buffer but does not change it.
  void* data = const_cast<std::uint8_t*>(bits.data());
  if (TIFFWriteEncodedStrip(tiff, 0, data, static_cast<tmsize_t>(bits.size())) < 0) return false;
  return TIFFWriteDirectory(tiff) != 0;
}

bool WriteJpegPage(TIFF* tiff, const cv::Mat& samples, int xDpi, int yDpi, int quality) {
  const int channels = samples.channels();
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(samples.cols));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(samples.rows));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(samples.rows));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  SetResolutionTags(tiff, xDpi, yDpi);
  // The JPEG pseudo-tags exist only once the compression is JPEG.
  TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, quality);
  cv::Mat continuous = samples.isContinuous() ? samples : samples.clone();
  const tmsize_t size = static_cast<tmsize_t>(continuous.total() * continuous.elemSize());
  if (TIFFWriteEncodedStrip(tiff, 0, continuous.data, size) < 0) return false;
  return TIFFWriteDirectory(tiff) != 0;
}

// Flushes what libtiff still holds and closes the handle; false when anything failed.
bool FinishTiff(TIFF* tiff, bool written) {
  written = written && TIFFFlush(tiff) != 0;
  TIFFClose(tiff);
  return written;
}

}  // namespace

std::vector<std::uint8_t> PackBilevel(const cv::Mat& grey) {
  const int bytesPerRow = (grey.cols + 7) / 8;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(bytesPerRow) * grey.rows, 0);
  for (int y = 0; y < grey.rows; ++y) {
    const std::uint8_t* row = grey.ptr<std::uint8_t>(y);
    std::uint8_t* out = bits.data() + static_cast<std::size_t>(y) * bytesPerRow;
    for (int x = 0; x < grey.cols; ++x) {
      if (row[x] < 125) out[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
    }
  }
  return bits;
}

bool CBilevelTiff::SetResolution(int horizontal, int vertical) {
  if (horizontal < 1 || vertical < 1) return false;
  xDpi_ = horizontal;
  yDpi_ = vertical;
  return true;
}

int CBilevelTiff::AddPage(const cv::Mat& picture) {
  cv::Mat grey;
  if (picture.empty() || !ToGreyPage(picture, grey)) return 1;
  pages_.push_back({grey.cols, grey.rows, PackBilevel(grey)});

  if (fileName_.empty()) return 2;
  // Later pages rewrite the file this writer made.
  const fs::path& target = written_.empty() ? fileName_ : written_;
  platform::PendingFile pending(target);
  if (!pending.ok()) return 2;
  TIFF* tiff = TIFFOpen(pending.path().c_str(), "w");
  if (tiff == nullptr) return 2;
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  bool written = true;
  const auto count = static_cast<std::uint16_t>(pages_.size());
  for (std::uint16_t i = 0; i < count && written; ++i) {
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, i, count);
    const Page& page = pages_[i];
    written = WriteBilevel(tiff, page.width, page.height, page.bits, xDpi_, yDpi_);
  }
  if (!FinishTiff(tiff, written)) return 2;
  std::optional<fs::path> placed =
      pending.Commit(written_.empty() ? placement_ : platform::FilePlacement::Replacing());
  if (!placed) return 2;
  written_ = *placed;
  return 0;
}

CTiffWriter::CTiffWriter() = default;

CTiffWriter::~CTiffWriter() { Close(); }

bool CTiffWriter::Open(const fs::path& path, int expectedPages, const platform::FilePlacement& placement) {
  if (tiff_ != nullptr || path.empty()) return false;
  std::error_code error;
  // Refused now rather than after all the pages.
  if (!placement.replace && !placement.nextFree && fs::exists(fs::symlink_status(path, error))) return false;
  auto pending = std::make_unique<platform::PendingFile>(path);
  if (!pending->ok()) return false;
  // Written through the pending file's own descriptor, the one handle on it; libtiff closes it.
  const int descriptor = pending->ReleaseDescriptor();
  TIFF* tiff = TIFFFdOpen(descriptor, pending->path().c_str(), "w");
  if (tiff == nullptr) {
    ::close(descriptor);
    return false;
  }
  // The first directory is marked as a page of a multipage file.
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  tiff_ = tiff;
  pending_ = std::move(pending);
  path_ = path;
  placement_ = placement;
  written_.clear();
  expectedPages_ = expectedPages;
  pageIndex_ = 0;
  failed_ = false;
  return true;
}

bool CTiffWriter::Close() {
  if (tiff_ == nullptr) return false;
  const bool complete = FinishTiff(tiff_, !failed_ && pageIndex_ > 0);
  tiff_ = nullptr;
  std::optional<fs::path> placed = complete ? pending_->Commit(placement_) : std::nullopt;
  pending_.reset();
  path_.clear();
  if (placed) written_ = *placed;
  return placed.has_value();
}

bool CTiffWriter::SetResolution(int horizontal, int vertical) {
  if (horizontal < 1 || vertical < 1) return false;
  xDpi_ = horizontal;
  yDpi_ = vertical;
  return true;
}

bool CTiffWriter::AppendMatPage(const cv::Mat& picture, const fs::path& path, int kind) {
  if (kind < kColorJpeg || kind > kBlackAndWhite || !CanTake(picture, kind)) return false;
  if (tiff_ != nullptr && (path.empty() || path == path_)) {
    // A page that fails half-written leaves the file broken: it is never put in place.
    if (failed_ || !WritePage(tiff_, picture, kind)) {
      failed_ = true;
      return false;
    }
    ++pageIndex_;
    return true;
  }
  // Another file: append to a copy and put it in place only when the page is in.
  if (path.empty()) return false;
  platform::PendingFile pending(path);
  if (!pending.ok()) return false;
  std::error_code error;
  if (fs::exists(path, error)) {
    fs::copy_file(path, pending.path(), fs::copy_options::overwrite_existing, error);
    if (error) return false;
  }
  TIFF* tiff = TIFFOpen(pending.path().c_str(), "a");
  if (tiff == nullptr) return false;
  const bool written = FinishTiff(tiff, WritePage(tiff, picture, kind));
  return written && pending.Commit(platform::FilePlacement::Replacing()).has_value();
}

bool CTiffWriter::CanTake(const cv::Mat& picture, int kind) {
  if (picture.empty() || picture.depth() != CV_8U) return false;
  return kind == kColorJpeg ? picture.channels() == 3 : picture.channels() <= 4;
}

bool CTiffWriter::WritePage(TIFF* tiff, const cv::Mat& picture, int kind) {
  if (kind == kColorJpeg) {
    cv::Mat rgb;
    cv::cvtColor(picture, rgb, cv::COLOR_BGR2RGB);
    return WriteJpegPage(tiff, rgb, xDpi_, yDpi_, jpegQuality_);
  }
  cv::Mat grey;
  if (!ToGreyPage(picture, grey)) return false;
  if (kind == kGreyJpeg) return WriteJpegPage(tiff, grey, xDpi_, yDpi_, jpegQuality_);
  return WriteBilevel(tiff, grey.cols, grey.rows, PackBilevel(grey), xDpi_, yDpi_);
}

}  // namespace orvane::imaging
