// Multipage TIFF files through libtiff: black-and-white pages as CCITT Group 4, grey and colour
// pages as JPEG.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

typedef struct tiff TIFF;

namespace orvane::imaging {

class PendingFile;

// One bit per pixel, most significant bit first, (width + 7) / 8 bytes a row; a set bit is a
// pixel below 125 (ink). The bits past the last column are 0 (paper). Takes one 8-bit channel.
std::vector<std::uint8_t> PackBilevel(const cv::Mat& grey);

// Black-and-white pages collected in memory; every AddPage writes the whole file anew, so the
// file always holds every page added so far.
class CBilevelTiff {
 public:
  void SetFileName(const std::filesystem::path& path) { fileName_ = path; }
  // False (and unchanged) when either value is below 1.
  bool SetResolution(int horizontal, int vertical);
  // 1: empty picture, nothing added. 2: the file could not be written (the page is kept).
  // 0: written.
  int AddPage(const cv::Mat& picture);

 private:
  struct Page {
    int width;
    int height;
    std::vector<std::uint8_t> bits;
  };
  std::filesystem::path fileName_;
  std::vector<Page> pages_;
  int xDpi_ = 96;
  int yDpi_ = 96;
};

// Writes pages one by one into a multipage TIFF. The file appears at its path when it is
// closed, with every page written; pages all go through the one open handle.
class CTiffWriter {
 public:
  enum PageKind { kColorJpeg = 0, kGreyJpeg = 1, kBlackAndWhite = 2 };

  CTiffWriter();
  ~CTiffWriter();
  CTiffWriter(const CTiffWriter&) = delete;
  CTiffWriter& operator=(const CTiffWriter&) = delete;

  // False when a file is open already or the file cannot be created.
  bool Open(const std::filesystem::path& path, int expectedPages);
  // Finishes the open file (it appears only when it holds a page) and forgets it.
  void Close();
  // Writes one page of `kind` (0 colour JPEG, 1 grey JPEG, 2 black and white). The path is the
  // open file's; any other path is appended to as a file of its own. False for a kind outside
  // 0 to 2, a picture the kind cannot take, or a file that cannot be written.
  bool AppendMatPage(const cv::Mat& picture, const std::filesystem::path& path, int kind);

 private:
  bool WritePage(TIFF* tiff, const cv::Mat& picture, int kind);

  int xDpi_ = 200;
  int yDpi_ = 200;
  int expectedPages_ = 0;
  int pageIndex_ = 0;
  int jpegQuality_ = 50;
  std::filesystem::path path_;
  std::unique_ptr<PendingFile> pending_;
  TIFF* tiff_ = nullptr;
};

}  // namespace orvane::imaging
