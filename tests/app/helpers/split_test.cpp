#include "app/helpers/string_and_file_pro.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Every narrow piece the object holds, read back through the exported calls.
std::vector<std::string> NarrowPieces(CStringAndFilePro& pro) {
  std::vector<std::string> pieces;
  for (unsigned index = 0;; ++index) {
    unsigned size = 0;
    if (pro.GetSplitedString(index, static_cast<char*>(nullptr), size) != 0) return pieces;
    std::string piece(size, '\0');
    if (pro.GetSplitedString(index, piece.data(), size) != 0) return pieces;
    piece.resize(size - 1);
    pieces.push_back(piece);
  }
}

std::vector<std::wstring> WidePieces(CStringAndFilePro& pro) {
  std::vector<std::wstring> pieces;
  for (unsigned index = 0;; ++index) {
    unsigned size = 0;
    if (pro.GetSplitedString(index, static_cast<wchar_t*>(nullptr), size) != 0) return pieces;
    std::wstring piece(size, L'\0');
    if (pro.GetSplitedString(index, piece.data(), size) != 0) return pieces;
    piece.resize(size - 1);
    pieces.push_back(piece);
  }
}

struct SplitCase {
  std::string text;
  std::string separator;
  std::vector<std::string> pieces;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, CutsAtEverySeparator) {
  const SplitCase& c = GetParam();
  CStringAndFilePro pro;
  EXPECT_EQ(pro.SpliteString(c.text.c_str(), c.separator.c_str()), c.pieces.size());
  EXPECT_THAT(NarrowPieces(pro), ElementsAreArray(c.pieces));

  std::wstring text(c.text.begin(), c.text.end());
  std::wstring separator(c.separator.begin(), c.separator.end());
  std::vector<std::wstring> widePieces;
  for (const std::string& piece : c.pieces) widePieces.emplace_back(piece.begin(), piece.end());
  EXPECT_EQ(pro.SpliteString(text.c_str(), separator.c_str()), c.pieces.size());
  EXPECT_THAT(WidePieces(pro), ElementsAreArray(widePieces));
}

INSTANTIATE_TEST_SUITE_P(Texts, Split, ::testing::Values(
    SplitCase{"a,b,c", ",", {"a", "b", "c"}},
    SplitCase{"a,,b", ",", {"a", "", "b"}},
    SplitCase{",a,", ",", {"", "a", ""}},
    SplitCase{"one", ",", {"one"}},
    SplitCase{"a::b:c", "::", {"a", "b:c"}},
    SplitCase{"a,b", "", {"a,b"}}));

TEST(SplitStore, EmptyTextKeepsThePreviousPieces) {
  CStringAndFilePro pro;
  pro.SpliteString("a,b", ",");
  EXPECT_EQ(pro.SpliteString("", ","), 0u);
  EXPECT_EQ(pro.SpliteString(static_cast<const char*>(nullptr), ","), 0u);
  EXPECT_EQ(pro.SpliteString("c,d", static_cast<const char*>(nullptr)), 0u);
  EXPECT_THAT(NarrowPieces(pro), ElementsAre("a", "b"));
}

TEST(SplitStore, NarrowAndWidePiecesAreKeptApart) {
  CStringAndFilePro pro;
  pro.SpliteString("a,b", ",");
  pro.SpliteString(L"x;y;z", L";");
  EXPECT_THAT(NarrowPieces(pro), ElementsAre("a", "b"));
  EXPECT_THAT(WidePieces(pro), ElementsAre(L"x", L"y", L"z"));
}

TEST(SplitStore, CopyRespectsTheCallersSize) {
  CStringAndFilePro pro;
  unsigned size = 0;
  char out[8] = "xxxxxxx";
  EXPECT_EQ(pro.GetSplitedString(0, out, size), 2);  // nothing split yet

  pro.SpliteString("abc,de", ",");
  size = 3;
  EXPECT_EQ(pro.GetSplitedString(0, out, size), 1);
  EXPECT_STREQ(out, "xxxxxxx");
  size = 4;
  EXPECT_EQ(pro.GetSplitedString(0, out, size), 0);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(pro.GetSplitedString(2, out, size), 2);
}

// Each object owns its pieces: copies and moves must never share or free another's store.
TEST(SplitStore, CopiesAreIndependent) {
  CStringAndFilePro original;
  original.SpliteString("a,b", ",");

  CStringAndFilePro copied(original);
  CStringAndFilePro assigned;
  assigned.SpliteString("old", ",");
  assigned = original;
  original.SpliteString("c", ",");

  EXPECT_THAT(NarrowPieces(copied), ElementsAre("a", "b"));
  EXPECT_THAT(NarrowPieces(assigned), ElementsAre("a", "b"));
  EXPECT_THAT(NarrowPieces(original), ElementsAre("c"));

  assigned = CStringAndFilePro();
  EXPECT_THAT(NarrowPieces(assigned), ElementsAre());
  CStringAndFilePro& self = copied;
  copied = self;
  EXPECT_THAT(NarrowPieces(copied), ElementsAre("a", "b"));
}

TEST(SplitStore, MovedFromObjectStaysUsable) {
  CStringAndFilePro source;
  source.SpliteString("a,b", ",");
  CStringAndFilePro target(std::move(source));
  EXPECT_THAT(NarrowPieces(target), ElementsAre("a", "b"));

  EXPECT_THAT(NarrowPieces(source), ElementsAre());  // NOLINT(bugprone-use-after-move)
  source.SpliteString("c", ",");
  target = std::move(source);
  EXPECT_THAT(NarrowPieces(target), ElementsAre("c"));
}

}  // namespace
