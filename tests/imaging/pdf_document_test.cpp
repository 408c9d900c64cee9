#include "imaging/pdf_document.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

struct PdfImage {
  std::string dictionary;
  std::string data;
};

// The number after `key` in `text` (from `from` on), or -1.
long NumberAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
  const std::size_t at = text.find(key, from);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

// The image objects of a PDF in file order (libharu writes them in the order of the pages), each
// stream read by its /Length, which libharu writes as an indirect object.
std::vector<PdfImage> Images(const std::string& pdf) {
  std::vector<PdfImage> images;
  std::size_t at = 0;
  while ((at = pdf.find(">>\nstream\r\n", at)) != std::string::npos) {
    const std::size_t open = pdf.rfind(" obj", at);
    const std::string dictionary = pdf.substr(open, at - open);
    const std::size_t begin = at + 11;  // past ">>\nstream\r\n"
    at = begin;
    if (dictionary.find("/Subtype /Image") == std::string::npos) continue;
    const long lengthObject = NumberAfter(dictionary, "/Length ");
    std::string lengthHeader = std::to_string(lengthObject);
    lengthHeader.insert(0, 1, '\n');
    lengthHeader += " 0 obj\n";
    const long length = NumberAfter(pdf, lengthHeader);
    if (length < 0) return {};
    images.push_back({dictionary, pdf.substr(begin, static_cast<std::size_t>(length))});
  }
  return images;
}

// "WxH" of every page's media box, in file order.
std::vector<std::string> MediaBoxes(const std::string& pdf) {
  std::vector<std::string> boxes;
  const std::string key = "/MediaBox [ 0 0 ";
  for (std::size_t at = pdf.find(key); at != std::string::npos; at = pdf.find(key, at + 1)) {
    char* end = nullptr;
    const long width = std::strtol(pdf.c_str() + at + key.size(), &end, 10);
    const long height = std::strtol(end, nullptr, 10);
    boxes.push_back(std::to_string(width) + "x" + std::to_string(height));
  }
  return boxes;
}

std::string Read(const fs::path& path) { return platform::ReadWholeFile(path).value_or(""); }

TEST(CPdfWriter, EnsurePdfExtensionReplacesOnlyTheFilesOwnExtension) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/data/a.b/scan", "/data/a.b/scan.pdf"},
      {"/data/scan", "/data/scan.pdf"},
      {"/data/scan.tif", "/data/scan.pdf"},
      {"/data/x.y.jpg", "/data/x.y.pdf"},
  };
  for (const Case& c : cases) {
    CPdfWriter writer;
    EXPECT_TRUE(writer.EnsurePdfExtension(c.in));
    EXPECT_EQ(writer.path(), fs::path(c.out)) << c.in;
  }
}

TEST(CPdfWriter, JpegPagesEmbedTheFileUnchangedAndPagesKeepTheirOrder) {
  testing::TempFolder folder;
  cv::Mat first(30, 40, CV_8UC3, cv::Scalar(0, 0, 255));
  std::string ignored;
  // An upper-case name holds JPEG data as well: it is embedded as it is. At 72 DPI a pixel is a
  // point, and the PNG, which states no resolution, keeps one pixel a point.
  ASSERT_TRUE(SaveMatAsJpeg(first, ignored, folder / "PAGE.JPG", 72, 72, 80));
  ASSERT_TRUE(SaveMatByExtension(folder / "second.png", cv::Mat(20, 50, CV_8UC3, cv::Scalar::all(9))));
  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(70, 10, CV_8UC1, cv::Scalar(3)), ignored, folder / "third.jpg",
                            72, 72, 80));

  CPdfWriter writer;
  writer.EnsurePdfExtension(folder / "book.tif");
  ASSERT_EQ(writer.CreatePdfFromImages(
                {folder / "PAGE.JPG", folder / "second.png", folder / "third.jpg"}),
            0);
  const std::string pdf = Read(folder / "book.pdf");
  EXPECT_EQ(MediaBoxes(pdf), (std::vector<std::string>{"40x30", "50x20", "10x70"}));
  std::vector<PdfImage> images = Images(pdf);
  ASSERT_EQ(images.size(), 3u);
  EXPECT_TRUE(images[0].data == Read(folder / "PAGE.JPG"));
  EXPECT_TRUE(images[2].data == Read(folder / "third.jpg"));
  EXPECT_NE(images[1].dictionary.find("/DCTDecode"), std::string::npos);  // the PNG re-encoded
  // Nothing but the inputs and the PDF: no temporary file anywhere beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 4);
}

TEST(CPdfWriter, OneBitTiffBecomesCcittAndGreyTiffJpeg) {
  testing::TempFolder folder;
  CBilevelTiff bilevel;
  bilevel.SetFileName(folder / "bw.tif");
  bilevel.SetResolution(72, 72);
  cv::Mat page(24, 13, CV_8UC1, cv::Scalar(255));
  page(cv::Rect(0, 0, 5, 5)).setTo(0);
  ASSERT_EQ(bilevel.AddPage(page), 0);
  ASSERT_TRUE(SaveMatByExtension(folder / "grey.tif", cv::Mat(8, 8, CV_8UC1, cv::Scalar(100))));

  CPdfWriter writer;
  writer.EnsurePdfExtension(folder / "out");
  ASSERT_EQ(writer.CreatePdfFromImages({folder / "bw.tif", folder / "grey.tif"}), 0);
  const std::string pdf = Read(folder / "out.pdf");
  EXPECT_EQ(MediaBoxes(pdf), (std::vector<std::string>{"13x24", "8x8"}));
  std::vector<PdfImage> images = Images(pdf);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_NE(images[0].dictionary.find("/CCITTFaxDecode"), std::string::npos);
  EXPECT_NE(images[0].dictionary.find("/BitsPerComponent 1"), std::string::npos);
  EXPECT_NE(images[1].dictionary.find("/DCTDecode"), std::string::npos);
}

// The first page of `pdf` drawn at one pixel per point in grey by a PDF reader the tests install
// (poppler's pdftoppm or MuPDF's mutool), as the user's viewer would draw it.
cv::Mat RenderFirstPage(const std::string& reader, const fs::path& pdf, const fs::path& folder) {
  const fs::path out = folder / (reader + ".pgm");
  const std::string command =
      reader == "pdftoppm"
          ? "pdftoppm -r 72 -gray -f 1 -l 1 -singlefile '" + pdf.string() + "' '" +
                (folder / reader).string() + "'"
          : "mutool draw -q -r 72 -c gray -o '" + out.string() + "' '" + pdf.string() + "' 1";
  if (std::system((command + " 2>/dev/null").c_str()) != 0) return {};
  return cv::imread(out.string(), cv::IMREAD_GRAYSCALE);
}

TEST(CPdfWriter, EveryKindOfPageRendersAsItsPicture) {
  testing::TempFolder folder;
  // Ink and paper, with a width that is no multiple of 8 and ink touching the right edge.
  cv::Mat page(40, 53, CV_8UC1, cv::Scalar(255));
  page(cv::Rect(3, 4, 20, 10)).setTo(0);
  page(cv::Rect(45, 20, 8, 15)).setTo(0);
  // At 72 DPI, so that a pixel of the picture is a pixel of the page drawn at 72 DPI.
  CBilevelTiff bilevel;
  bilevel.SetFileName(folder / "bw.tif");
  bilevel.SetResolution(72, 72);
  ASSERT_EQ(bilevel.AddPage(page), 0);
  std::string ignored;
  ASSERT_TRUE(SaveMatAsJpeg(page, ignored, folder / "page.jpg", 72, 72, 95));
  cv::Mat grey = page.clone();
  grey.setTo(cv::Scalar(128), page == 0);  // mid-grey "ink": a negative would be grey too
  grey(cv::Rect(30, 2, 10, 10)).setTo(40);
  ASSERT_TRUE(SaveMatByExtension(folder / "grey.png", grey));

  // JPEG pages are lossy and poppler draws even a 1:1 image a fraction of a pixel off, so the
  // pages are compared on average; a negative would differ by about 200.
  constexpr double kLargestMeanDifference = 8.0;
  struct Case {
    const char* file;
    cv::Mat expected;
  } cases[] = {{"bw.tif", page}, {"page.jpg", page}, {"grey.png", grey}};
  for (const Case& c : cases) {
    const fs::path pdf = folder / (std::string(c.file) + ".pdf");
    ASSERT_TRUE(WritePicturesToPdf(pdf, {folder / c.file})) << c.file;
    for (const std::string reader : {"pdftoppm", "mutool"}) {
      SCOPED_TRACE(std::string(c.file) + " drawn by " + reader);
      const cv::Mat drawn = RenderFirstPage(reader, pdf, folder.path());
      ASSERT_FALSE(drawn.empty()) << reader << " is not installed or cannot read the file";
      ASSERT_EQ(drawn.size(), c.expected.size());
      cv::Mat difference;
      cv::absdiff(drawn, c.expected, difference);
      EXPECT_LE(cv::mean(difference)[0], kLargestMeanDifference);
      // Ink stays ink and paper stays paper.
      for (const cv::Point at : {cv::Point(10, 8), cv::Point(50, 30), cv::Point(10, 35)}) {
        EXPECT_NEAR(drawn.at<std::uint8_t>(at), c.expected.at<std::uint8_t>(at), 30) << at;
      }
    }
  }
}

TEST(CPdfWriter, UnreadableInputFailsAndWritesNothing) {
  testing::TempFolder folder;
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "broken.jpg", std::string("\xFF\xD8\xFF garbage")));
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "text.png", "not a picture"));
  CPdfWriter writer;
  writer.EnsurePdfExtension(folder / "out.pdf");
  for (const char* input : {"broken.jpg", "text.png", "missing.png"}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(writer.CreatePdfFromImages({folder / input}), 1);
  }
  EXPECT_EQ(writer.CreatePdfFromImages({}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

TEST(WritePicturesToPdf, ReplacesAnExistingPdfOnlyWhenAskedTo) {
  testing::TempFolder folder;
  std::string ignored;
  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(5, 6, CV_8UC1), ignored, folder / "scan.jpg", 72, 72, 80));
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "scan.pdf", "old"));
  EXPECT_FALSE(WritePicturesToPdf(PdfPathFor(folder / "scan.jpg"), {folder / "scan.jpg"}));
  EXPECT_EQ(Read(folder / "scan.pdf"), "old");
  ASSERT_TRUE(WritePicturesToPdf(PdfPathFor(folder / "scan.jpg"), {folder / "scan.jpg"},
                                 platform::FilePlacement::Replacing()));
  EXPECT_EQ(MediaBoxes(Read(folder / "scan.pdf")), std::vector<std::string>{"6x5"});
}

// Every page's size in points as poppler's pdfinfo reads it; empty when it cannot.
std::vector<cv::Size2d> PageSizes(const fs::path& pdf) {
  std::vector<cv::Size2d> sizes;
  FILE* pipe = popen(("pdfinfo -f 1 -l 999 '" + pdf.string() + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return sizes;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    int page = 0;
    double width = 0, height = 0;
    if (std::sscanf(line, "Page %d size: %lf x %lf", &page, &width, &height) == 3) sizes.emplace_back(width, height);
  }
  pclose(pipe);
  return sizes;
}

// An A4 page captured at any DPI is an A4 page (595.28 x 841.89 points): the JPEG's JFIF density
// and the black-and-white TIFF's resolution size their pages whatever else is known, and a
// picture stating none is sized by the DPI it was captured at.
TEST(WritePicturesToPdf, AnA4PictureMakesAnA4PageAtAnyResolution) {
  struct Case {
    int xDpi;
    int yDpi;
  } cases[] = {{96, 96}, {200, 200}, {300, 300}, {300, 150}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.xDpi) + " x " + std::to_string(c.yDpi) + " DPI");
    testing::TempFolder folder;
    const cv::Size a4(static_cast<int>(std::lround(210 / 25.4 * c.xDpi)), static_cast<int>(std::lround(297 / 25.4 * c.yDpi)));
    cv::Mat page(a4, CV_8UC1, cv::Scalar(255));
    page(cv::Rect(10, 10, 40, 30)).setTo(0);
    std::string ignored;
    ASSERT_TRUE(SaveMatAsJpeg(page, ignored, folder / "page.jpg", c.xDpi, c.yDpi, 80));
    CBilevelTiff bilevel;
    bilevel.SetFileName(folder / "page.tif");
    bilevel.SetResolution(c.xDpi, c.yDpi);
    ASSERT_EQ(bilevel.AddPage(page), 0);
    ASSERT_TRUE(SaveMatByExtension(folder / "page.PNG", page));

    // The pages that state their resolution, with no other DPI given and with a wrong one.
    ASSERT_TRUE(WritePicturesToPdf(folder / "stated.pdf", {folder / "page.jpg", folder / "page.tif"}));
    CPdfWriter writer;
    writer.EnsurePdfExtension(folder / "captured");
    ASSERT_TRUE(writer.SetResolution(c.xDpi, c.yDpi));
    ASSERT_EQ(writer.CreatePdfFromImages({folder / "page.PNG"}), 0);
    CPdfWriter wrongDpi;
    wrongDpi.EnsurePdfExtension(folder / "wrong");
    ASSERT_TRUE(wrongDpi.SetResolution(72, 600));
    ASSERT_EQ(wrongDpi.CreatePdfFromImages({folder / "page.tif", folder / "page.jpg"}), 0);
    for (const char* pdf : {"stated.pdf", "captured.pdf", "wrong.pdf"}) {
      const std::vector<cv::Size2d> sizes = PageSizes(folder / pdf);
      ASSERT_FALSE(sizes.empty()) << pdf << ": pdfinfo is not installed or cannot read it";
      for (const cv::Size2d& size : sizes) {
        EXPECT_NEAR(size.width, 595.28, 0.5) << pdf;
        EXPECT_NEAR(size.height, 841.89, 0.5) << pdf;
      }
    }
  }
}

// The density of the JFIF header of JPEG `bytes` set to `units` (0 none, 1 per inch, 2 per cm).
std::string WithJfifDensity(std::string bytes, int units, int x, int y) {
  const std::size_t jfif = bytes.find(std::string("JFIF\0", 5));
  EXPECT_NE(jfif, std::string::npos) << "fixture: no JFIF header";
  if (jfif == std::string::npos) return bytes;
  const char fields[5] = {static_cast<char>(units), static_cast<char>(x >> 8), static_cast<char>(x & 0xFF),
                          static_cast<char>(y >> 8), static_cast<char>(y & 0xFF)};
  bytes.replace(jfif + 7, 5, fields, 5);
  return bytes;
}

// Stored documents keep their pages: a picture that states no resolution, with no DPI given, is
// one pixel a point as ever, and so is one whose resolution would make no page a PDF may hold.
TEST(WritePicturesToPdf, PagesOfPicturesStatingNoResolutionAreSizedByTheDpiGivenOrOnePixelAPoint) {
  testing::TempFolder folder;
  const cv::Mat picture(50, 100, CV_8UC3, cv::Scalar(20, 90, 200));
  const std::string jpeg = EncodeJpeg(picture, 72, 72, 80);
  ASSERT_TRUE(SaveMatByExtension(folder / "page.PNG", picture));
  struct Case {
    const char* what;
    std::string bytes;  // of a JPEG file; empty for the PNG
    std::optional<Resolution> given;
    cv::Size2d points;
  } cases[] = {
      {"PNG", "", std::nullopt, {100, 50}},
      {"PNG at 144 DPI", "", Resolution{144, 144}, {50, 25}},
      {"JPEG stating an aspect ratio only", WithJfifDensity(jpeg, 0, 1, 1), std::nullopt, {100, 50}},
      {"JPEG stating an aspect ratio only, at 144 by 288 DPI", WithJfifDensity(jpeg, 0, 1, 1), Resolution{144, 288},
       {50, 12.5}},
      {"JPEG stating 72 DPI, at 144", WithJfifDensity(jpeg, 1, 72, 72), Resolution{144, 144}, {100, 50}},
      {"JPEG stating 40 by 20 dots per centimetre", WithJfifDensity(jpeg, 2, 40, 20), std::nullopt,
       {100 * 72 / 101.6, 50 * 72 / 50.8}},
      {"JPEG stating a DPI too high for any page", WithJfifDensity(jpeg, 1, 65535, 65535), std::nullopt, {100, 50}},
      {"PNG at a DPI too high for any page", "", Resolution{65535, 65535}, {100, 50}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::path input = folder / "page.PNG";
    if (!c.bytes.empty()) {
      input = folder / "page.jpg";
      ASSERT_TRUE(platform::WriteFile(input, c.bytes, platform::FilePlacement::Replacing()));
    }
    const fs::path pdf = folder / "out.pdf";
    ASSERT_TRUE(WritePicturesToPdf(pdf, {input}, platform::FilePlacement::Replacing(), nullptr, c.given));
    const std::vector<cv::Size2d> sizes = PageSizes(pdf);
    ASSERT_EQ(sizes.size(), 1u) << "pdfinfo is not installed or cannot read the file";
    EXPECT_NEAR(sizes[0].width, c.points.width, 0.01);
    EXPECT_NEAR(sizes[0].height, c.points.height, 0.01);
  }
}

}  // namespace
}  // namespace orvane::imaging
