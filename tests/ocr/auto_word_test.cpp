#include "ocr/auto_word.h"

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "docx_reader.h"
#include "ocr/recognition_worker.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {
namespace fs = std::filesystem;
using orvane::testing::ReadDocx;

TEST(CAutoWord, EachLineBecomesOneBoldParagraphOfWellFormedXml) {
  const struct {
    std::string text;
    std::vector<std::string> paragraphs;
  } cases[] = {
      {"", {""}},
      {"第一行\r\n  second line", {"第一行", "  second line"}},
      {"a\nb\rc\r\n", {"a", "b", "c"}},
      {"1 < 2 && 3 > 2", {"1 < 2 && 3 > 2"}},
      {"x\x01y\x1Fz\x7F", {"xyz"}},
      {"中文\xFF!", {"中文\xEF\xBF\xBD!"}},  // a byte that starts no character
      {"\xC2\x85tab\there", {"tab\there"}},   // a C1 control
  };
  const orvane::testing::TempFolder folder;
  for (const auto& c : cases) {
    CAutoWord word;
    word.SetPath(folder / "text.docx");
    word.SetText(c.text);
    ASSERT_EQ(word.CreateDocument(), 0);
    const auto content = ReadDocx(word.WrittenPath());
    std::filesystem::remove(word.WrittenPath());
    ASSERT_TRUE(content.opened);
    EXPECT_EQ(content.parts, (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels", "word/document.xml"}));
    EXPECT_TRUE(content.wellFormed) << c.text;
    EXPECT_TRUE(content.allBold) << c.text;
    EXPECT_EQ(content.paragraphs, c.paragraphs) << c.text;
  }
}

TEST(CAutoWord, AFolderThatCannotBeWrittenFailsAndLeavesNoFile) {
  const orvane::testing::TempFolder folder;
  std::ofstream(folder / "plain") << "a file, not a folder";
  CAutoWord word;
  word.SetPath(folder / "plain" / "text.docx");
  word.SetText("text");
  EXPECT_EQ(word.CreateDocument(), 1);
  EXPECT_FALSE(fs::exists(folder / "plain" / "text.docx"));
  CAutoWord unnamed;
  EXPECT_EQ(unnamed.CreateDocument(), 1);
}

// A real reader opens the document: python-docx checks the package's content types and
// relationships before it reads a paragraph.
TEST(CAutoWord, PythonDocxReadsTheDocument) {
  if (std::system("/usr/bin/python3 -c 'import docx' 2>/dev/null") != 0) GTEST_SKIP() << "python3-docx is missing";
  const orvane::testing::TempFolder folder;
  CAutoWord word;
  word.SetPath(folder / "text.docx");
  word.SetText("识别结果\r\nSecond <line>");
  ASSERT_EQ(word.CreateDocument(), 0);
  const std::string command = "/usr/bin/python3 -c 'import docx, sys\n"
                              "for p in docx.Document(sys.argv[1]).paragraphs:\n"
                              "  print(p.text, all(r.bold for r in p.runs))' " +
                              (folder / "text.docx").string();
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(out, "识别结果 True\nSecond <line> True\n");
}

TEST(WriteRecognisedText, TheDocumentNeverReplacesAFile) {
  const orvane::testing::TempFolder folder;
  CAutoWord word;
  EXPECT_EQ(WriteRecognisedText(word, folder / "page.docx", "正文"), folder / "page.docx");
  EXPECT_EQ(WriteRecognisedText(word, folder / "page.docx", "第二页"), folder / "page-2.docx");
  EXPECT_EQ(ReadDocx(folder / "page.docx").paragraphs, std::vector<std::string>{"正文"});
  EXPECT_EQ(ReadDocx(folder / "page-2.docx").paragraphs, std::vector<std::string>{"第二页"});

  // A folder in the document's place: the document takes the next name.
  fs::create_directory(folder / "blocked.docx");
  EXPECT_EQ(WriteRecognisedText(word, folder / "blocked.docx", "正文"), folder / "blocked-2.docx");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 4);
}

// The user's yes replaces a document through a temporary file; a read-only file keeps its bytes
// and the text takes the next name.
TEST(WriteRecognisedText, AFileIsReplacedOnlyWhenToldAndNeverAReadOnlyOne) {
  const struct {
    bool replace;
    bool readOnly;
    const char* written;
  } cases[] = {{false, false, "page-2.docx"}, {true, false, "page.docx"}, {true, true, "page-2.docx"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.replace << c.readOnly);
    const orvane::testing::TempFolder folder;
    const fs::path earlier = folder / "page.docx";
    ASSERT_TRUE(platform::WriteFile(earlier, "earlier", platform::FilePlacement::NewFile()));
    if (c.readOnly) fs::permissions(earlier, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CAutoWord word;
    EXPECT_EQ(WriteRecognisedText(word, earlier, "正文", c.replace), folder / c.written);
    EXPECT_EQ(ReadDocx(folder / c.written).paragraphs, std::vector<std::string>{"正文"});
    const bool replaced = std::string(c.written) == "page.docx";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), replaced ? 1 : 2);
    if (!replaced) {
      EXPECT_EQ(platform::ReadWholeFile(earlier), "earlier");
    }
  }
}

}  // namespace
}  // namespace orvane::ocr
