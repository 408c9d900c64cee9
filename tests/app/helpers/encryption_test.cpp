#include "app/helpers/string_and_file_pro.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Pro = CStringAndFilePro;
using Bytes = std::vector<unsigned char>;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string TextOf(const Bytes& bytes, unsigned length) { return std::string(bytes.begin(), bytes.begin() + length); }

struct TeaCase {
  std::string key;
  std::string plain;
  std::string cipherHex;
};

class Tea : public ::testing::TestWithParam<TeaCase> {};

TEST_P(Tea, EncryptsAndDecryptsPublishedVectors) {
  const TeaCase& c = GetParam();
  Bytes plain = BytesOf(c.plain);
  Bytes hex(c.cipherHex.size());
  unsigned hexLength = hex.size();
  ASSERT_TRUE(Pro::EncryptString(plain.data(), plain.size(), c.key.c_str(), hex.data(), hexLength));
  EXPECT_EQ(TextOf(hex, hexLength), c.cipherHex);

  Bytes back(plain.size());
  unsigned backLength = back.size();
  ASSERT_TRUE(Pro::DecryptString(hex.data(), hexLength, c.key.c_str(), back.data(), backLength));
  EXPECT_EQ(TextOf(back, backLength), c.plain);
}

// Vectors of the Linux kernel's crypto tests, whose TEA takes little-endian words as here.
INSTANTIATE_TEST_SUITE_P(Vectors, Tea, ::testing::Values(
    TeaCase{"00000000000000000000000000000000", std::string(8, '\0'), "0A3AEA4140A9BA94"},
    TeaCase{"2B02056806144976775D0E266C287843", "test me.", "775D2A6AF6CE9209"},
    TeaCase{"0965431166443925513A16100A08126E", "longer_test_vect", "BE7ABB81952D1F1EDD89A1250421DF95"},
    TeaCase{"4d763217053f752c5d0416361572632f", "Tea is g", "E04D5D3CB78C3647"}));

TEST(TeaKey, MissingDigitsAreZeroAndExtraDigitsIgnored) {
  const Bytes zeros(8, 0);
  for (const char* key : {"", "00", "00000000000000000000000000000000FFFF"}) {
    Bytes hex(16);
    unsigned length = hex.size();
    ASSERT_TRUE(Pro::EncryptString(zeros.data(), zeros.size(), key, hex.data(), length)) << key;
    EXPECT_EQ(TextOf(hex, length), "0A3AEA4140A9BA94") << key;
  }
}

TEST(TeaKey, NonHexadecimalKeyIsRefused) {
  Bytes data(8, 0);
  Bytes out(16);
  unsigned length = out.size();
  EXPECT_FALSE(Pro::EncryptString(data.data(), data.size(), "0G", out.data(), length));
  EXPECT_FALSE(Pro::DecryptString(out.data(), out.size(), "-1", data.data(), length));
}

TEST(TeaBlocks, LastBlockIsPaddedWithZeros) {
  const Bytes nine = BytesOf("123456789");
  const char* key = "0123456789abcdef0123456789ABCDEF";
  Bytes hex(32, 'x');
  unsigned length = 31;
  EXPECT_FALSE(Pro::EncryptString(nine.data(), nine.size(), key, hex.data(), length));
  EXPECT_EQ(length, 31u);
  EXPECT_EQ(hex, Bytes(32, 'x'));

  length = 32;
  ASSERT_TRUE(Pro::EncryptString(nine.data(), nine.size(), key, hex.data(), length));
  EXPECT_EQ(length, 32u);

  Bytes back(16, 0xAA);
  unsigned backLength = back.size();
  ASSERT_TRUE(Pro::DecryptString(hex.data(), length, key, back.data(), backLength));
  ASSERT_EQ(backLength, 16u);
  Bytes expected = nine;
  expected.resize(16, 0);
  EXPECT_EQ(back, expected);
}

TEST(TeaBlocks, DecryptionIgnoresAPartialBlockAndRespectsTheBuffer) {
  const std::string hex = "0A3AEA4140A9BA94" "0A3A";
  Bytes out(8, 0xAA);
  unsigned length = 7;
  EXPECT_FALSE(Pro::DecryptString(BytesOf(hex).data(), hex.size(), "", out.data(), length));
  EXPECT_EQ(out, Bytes(8, 0xAA));

  length = 8;
  ASSERT_TRUE(Pro::DecryptString(BytesOf(hex).data(), hex.size(), "", out.data(), length));
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(out, Bytes(8, 0));
}

TEST(TeaBlocks, BadDigitsInTheDataLeaveTheOutputAlone) {
  const std::string hex = "0A3AEA4140A9BA9Z";
  Bytes out(8, 0xAA);
  unsigned length = out.size();
  EXPECT_FALSE(Pro::DecryptString(BytesOf(hex).data(), hex.size(), "", out.data(), length));
  EXPECT_EQ(out, Bytes(8, 0xAA));
}

TEST(TeaBlocks, EmptyDataGivesEmptyText) {
  unsigned char data = 0;
  unsigned char out = 'x';
  unsigned length = 0;
  EXPECT_TRUE(Pro::EncryptString(&data, 0, "", &out, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(out, 'x');
}

TEST(TeaBlocks, RefuseNullArguments) {
  unsigned char buffer[16] = {};
  unsigned length = sizeof buffer;
  EXPECT_FALSE(Pro::EncryptString(nullptr, 8, "", buffer, length));
  EXPECT_FALSE(Pro::EncryptString(buffer, 8, nullptr, buffer, length));
  EXPECT_FALSE(Pro::DecryptString(buffer, 16, "", nullptr, length));
}

}  // namespace
