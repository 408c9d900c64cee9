// Multipage TIFF files through libtiff: black-and-white pages as CCITT Group 4, grey and colour
// pages as JPEG.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/file_io.h"

typedef struct tiff TIFF;

namespace orvane::imaging {

// One bit per pixel, most significant bit first, (width + 7) / 8 bytes a row; a set bit is a
// pixel below 125 (ink). The bits past the last column are 0 (paper). Takes one 8-bit channel.
std::vector<std::uint8_t> PackBilevel(const cv::Mat& grey);

// Black-and-white pages collected in memory; every AddPage writes the whole file anew, so the
// file always holds every page added so far. The first write gives the file its name by the
// placement (by default it never replaces a file and fails when the name is taken); later writes
// replace that file of its own.
class CBilevelTiff {
 public:
  void SetFileName(const std::filesystem::path& path) { fileName_ = path; }
  void SetPlacement(platform::FilePlacement placement) { placement_ = std::move(placement); }
  // False (and unchanged) when either value is below 1.
  bool SetResolution(int horizontal, int vertical);
  // 1: empty picture, nothing added. 2: the file could not be written (the page is kept).
  // 0: written.
  int AddPage(const cv::Mat& picture);
  // Where the file was written; empty before the first successful AddPage.
  const std::filesystem::path& WrittenPath() const { return written_; }

 private:
  struct Page {
    int width;
    int height;
    std::vector<std::uint8_t> bits;
  };
  std::filesystem::path fileName_;
  platform::FilePlacement placement_;
  std::filesystem::path written_;
  std::vector<Page> pages_;
  int xDpi_ = 96;
  int yDpi_ = 96;
};

// Writes pages one by one into a multipage TIFF. The file appears at its path when it is
// closed, with every page written; pages all go through the one open handle. A page that fails
// fails the whole file: it is then never put in place.
class CTiffWriter {
 public:
  enum PageKind { kColorJpeg = 0, kGreyJpeg = 1, kBlackAndWhite = 2 };

  CTiffWriter();
  ~CTiffWriter();
  CTiffWriter(const CTiffWriter&) = delete;
  CTiffWriter& operator=(const CTiffWriter&) = delete;

  // False when a file is open already or the file cannot be created, or when `path` is taken
  // and the placement neither replaces nor offers another name. The file takes its name by the
  // placement when it is closed (by default it never replaces a file).
  bool Open(const std::filesystem::path& path, int expectedPages,
            const platform::FilePlacement& placement = {});
  // Finishes the open file and forgets it. True when the file was put in place: it holds at
  // least one page, every page was written and the data reached the disk.
  bool Close();
  // Where the last closed file was put; empty when it was not.
  const std::filesystem::path& WrittenPath() const { return written_; }
  // The resolution the pages written from now on state (200 dots per inch until it is set); false
  // (and unchanged) when either value is below 1.
  bool SetResolution(int horizontal, int vertical);
  // Writes one page of `kind` (0 colour JPEG, 1 grey JPEG, 2 black and white). The path is the
  // open file's; any other path is appended to as a file of its own (replaced whole when the
  // page is in, never when it is read-only). False for a kind outside 0 to 2, a picture the kind
  // cannot take, or a file that cannot be written.
  bool AppendMatPage(const cv::Mat& picture, const std::filesystem::path& path, int kind);

 private:
  // Whether a page of `kind` can be made of `picture` at all (nothing is written otherwise).
  static bool CanTake(const cv::Mat& picture, int kind);
  bool WritePage(TIFF* tiff, const cv::Mat& picture, int kind);

  int xDpi_ = 200;
  int yDpi_ = 200;
  int expectedPages_ = 0;
  int pageIndex_ = 0;
  int jpegQuality_ = 50;
  bool failed_ = false;
  std::filesystem::path path_;
  std::filesystem::path written_;
  platform::FilePlacement placement_;
  std::unique_ptr<platform::PendingFile> pending_;
  TIFF* tiff_ = nullptr;
};

}  // namespace orvane::imaging
