#include "ocr/file_operator.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {

std::string Header(std::int32_t rows, std::int32_t cols, std::int32_t type) {
  std::string out(12, '\0');
  std::memcpy(out.data(), &rows, 4);
  std::memcpy(out.data() + 4, &cols, 4);
  std::memcpy(out.data() + 8, &type, 4);
  return out;
}

class FileOperatorTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    const auto path = folder_ / "t.tpl";
    EXPECT_TRUE(platform::WriteFileAtomically(path, bytes));
    return path;
  }
  testing::TempFolder folder_;
};

TEST_F(FileOperatorTest, StringRecordHasTheDocumentedBytes) {
  const auto path = folder_ / "s.tpl";
  CCmmFileOperatorImp op;
  ASSERT_EQ(op.Open(path, true), 0);
  EXPECT_EQ(op.WriteString("NEW"), 0);
  ASSERT_EQ(op.Close(), 0);
  const std::string expected("\x01\0\0\0\x03\0\0\0\x01\0\0\0NEW", 15);
  EXPECT_EQ(platform::ReadWholeFile(path), expected);
}

TEST_F(FileOperatorTest, RecordsRoundTripIncludingEmptyOnes) {
  const auto path = folder_ / "r.tpl";
  OcrMatrixPtr doubles = CreateOcrMatrix(kOcrDouble, 2, 2);
  doubles->As<double>()[3] = -1.5;
  OcrMatrixPtr empty = CreateOcrMatrix(kOcrFloat, 0, 7);
  {
    auto op = CreateFileOperator("cMM");
    ASSERT_NE(op, nullptr);
    ASSERT_EQ(op->Open(path, true), 0);
    EXPECT_EQ(op->WriteMatrix(*doubles), 0);
    EXPECT_EQ(op->WriteMatrix(*empty), 0);
    ASSERT_EQ(op->Close(), 0);
  }
  EXPECT_EQ(std::filesystem::file_size(path), 12u + 32u + 12u);
  CCmmFileOperatorImp op;
  ASSERT_EQ(op.Open(path, false), 0);
  OcrMatrixPtr first = op.ReadMatrix();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->type, kOcrDouble);
  EXPECT_EQ(first->data, doubles->data);
  OcrMatrixPtr second = op.ReadMatrix();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->type, kOcrFloat);
  EXPECT_EQ(second->rows, 0);
  EXPECT_EQ(second->cols, 7);
  EXPECT_EQ(op.ReadMatrix(), nullptr);
  EXPECT_EQ(op.LastReadState(), OcrReadState::kEnd);
}

TEST_F(FileOperatorTest, DamagedRecordsAreRejectedBeforeAllocating) {
  struct Case { const char* what; std::string bytes; };
  const Case cases[] = {
      {"short header", Header(1, 1, 1).substr(0, 7)},
      {"negative rows", Header(-1, 4, 5) + std::string(32, '\0')},
      {"negative cols", Header(4, -2, 1)},
      {"huge size", Header(0x7fffffff, 0x7fffffff, 5)},
      {"elements beyond the end", Header(2, 2, 5) + std::string(31, '\0')},
      {"byte count times size overflows", Header(0x40000000, 4, 4) + std::string(16, '\0')},
      {"unknown type with a size", Header(2, 1, 7)},
  };
  for (const Case& c : cases) {
    const auto path = Write(c.bytes);
    CCmmFileOperatorImp op;
    ASSERT_EQ(op.Open(path, false), 0);
    EXPECT_EQ(op.ReadMatrix(), nullptr) << c.what;
    EXPECT_EQ(op.LastReadState(), OcrReadState::kDamaged) << c.what;
  }
}

TEST_F(FileOperatorTest, UnknownTypeOfScalarSizeReadsAsRecordWithoutElements) {
  const auto path = Write(Header(1, 1, 9) + Header(1, 0, 1));
  CCmmFileOperatorImp op;
  ASSERT_EQ(op.Open(path, false), 0);
  OcrMatrixPtr odd = op.ReadMatrix();
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->type, 9);
  EXPECT_TRUE(odd->data.empty());
  OcrMatrixPtr next = op.ReadMatrix();  // nothing was consumed beyond the header
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(IsOcrString(next.get()));
}

TEST_F(FileOperatorTest, SecondOpenFailsAndKeepsTheFirst) {
  const auto path = Write(Header(1, 2, 1) + "ab");
  CCmmFileOperatorImp op;
  ASSERT_EQ(op.Open(path, false), 0);
  EXPECT_EQ(op.Open(folder_ / "other.tpl", true), 1);
  EXPECT_EQ(op.OpenWithMode(folder_ / "other.tpl", "wb"), 1);
  OcrMatrixPtr text = op.ReadMatrix();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(OcrStringText(*text), "ab");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "other.tpl"));
}

TEST_F(FileOperatorTest, UnclosedOrFailedWriteLeavesTheTargetAsItWas) {
  const auto path = Write("old");
  {
    CCmmFileOperatorImp op;
    ASSERT_EQ(op.Open(path, true), 0);
    EXPECT_EQ(op.WriteString("NEW"), 0);
  }  // never closed: nothing committed
  EXPECT_EQ(platform::ReadWholeFile(path), "old");
  EXPECT_EQ(CCmmFileOperatorImp().Open(folder_ / "missing" / "t.tpl", true), 1);
  CCmmFileOperatorImp op;
  EXPECT_EQ(op.Open(folder_ / "missing.tpl", false), 1);
  EXPECT_EQ(op.WriteString("x"), 1);
}

TEST_F(FileOperatorTest, AppendModeKeepsEarlierRecords) {
  const auto path = folder_ / "a.tpl";
  CCmmFileOperatorImp op;
  ASSERT_EQ(op.OpenWithMode(path, "ab"), 0);
  op.WriteString("NEW");
  ASSERT_EQ(op.Close(), 0);
  ASSERT_EQ(op.OpenWithMode(path, "ab"), 0);
  op.WriteString("TRS");
  ASSERT_EQ(op.Close(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 30u);
  EXPECT_EQ(op.OpenWithMode(path, "r"), 1);
}

TEST(FileOperatorFactory, OnlyCmmIsKnown) {
  EXPECT_NE(CreateFileOperator("CMM"), nullptr);
  EXPECT_EQ(CreateFileOperator("Cmmx"), nullptr);
  EXPECT_EQ(CreateFileOperator(""), nullptr);
}

}  // namespace
}  // namespace orvane::ocr
