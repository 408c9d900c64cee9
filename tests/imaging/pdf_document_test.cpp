#include "imaging/pdf_document.h"

#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

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
  // An upper-case name holds JPEG data as well: it is embedded as it is.
  ASSERT_TRUE(SaveMatAsJpeg(first, ignored, folder / "PAGE.JPG", 96, 96, 80));
  ASSERT_TRUE(SaveMatByExtension(folder / "second.png", cv::Mat(20, 50, CV_8UC3, cv::Scalar::all(9))));
  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(70, 10, CV_8UC1, cv::Scalar(3)), ignored, folder / "third.jpg",
                            96, 96, 80));

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

TEST(WritePicturesToPdf, ReplacesAnExistingPdfWhole) {
  testing::TempFolder folder;
  std::string ignored;
  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(5, 6, CV_8UC1), ignored, folder / "scan.jpg", 96, 96, 80));
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "scan.pdf", "old"));
  ASSERT_TRUE(WritePicturesToPdf(PdfPathFor(folder / "scan.jpg"), {folder / "scan.jpg"}));
  EXPECT_EQ(MediaBoxes(Read(folder / "scan.pdf")), std::vector<std::string>{"6x5"});
}

}  // namespace
}  // namespace orvane::imaging
