#include "app/helpers/string_and_file_pro.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "temp_folder.h"

namespace {

using Pro = CStringAndFilePro;

struct DigestCase {
  std::string text;
  std::string digest;
};

// The test suite of RFC 1321, and a text long enough to cross many blocks.
const std::vector<DigestCase> kDigests = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
};

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

class Digest : public ::testing::TestWithParam<DigestCase> {
 protected:
  orvane::testing::TempFolder folder;
};

TEST_P(Digest, OfStringInBothForms) {
  const DigestCase& c = GetParam();
  char narrow[33];
  wchar_t wide[33];
  ASSERT_TRUE(Pro::GetMD5FromString(c.text.c_str(), narrow));
  EXPECT_EQ(narrow, c.digest);
  ASSERT_TRUE(Pro::GetMD5FromString(Widen(c.text).c_str(), wide));
  EXPECT_EQ(std::wstring(wide), Widen(c.digest));
}

TEST_P(Digest, OfFileInBothForms) {
  const DigestCase& c = GetParam();
  std::string path = (folder / "data.bin").string();
  std::ofstream(path, std::ios::binary) << c.text;
  char narrow[33];
  wchar_t wide[33];
  ASSERT_TRUE(Pro::GetMD5FromFile(path.c_str(), narrow));
  EXPECT_EQ(narrow, c.digest);
  ASSERT_TRUE(Pro::GetMD5FromFile(Widen(path).c_str(), wide));
  EXPECT_EQ(std::wstring(wide), Widen(c.digest));
}

INSTANTIATE_TEST_SUITE_P(Rfc1321, Digest, ::testing::ValuesIn(kDigests));

TEST(DigestOfText, WideTextIsDigestedAsUtf8) {
  char narrow[33];
  wchar_t wide[33];
  ASSERT_TRUE(Pro::GetMD5FromString("中文", narrow));
  ASSERT_TRUE(Pro::GetMD5FromString(L"中文", wide));
  std::string expected(narrow);
  EXPECT_EQ(std::wstring(wide), Widen(expected));
}

TEST(DigestOfFile, FailsForWhatCannotBeRead) {
  orvane::testing::TempFolder folder;
  char out[33] = "unchanged";
  EXPECT_FALSE(Pro::GetMD5FromFile((folder / "missing").c_str(), out));
  EXPECT_FALSE(Pro::GetMD5FromFile(folder.path().c_str(), out));  // a folder
  // A FIFO nobody writes to and a device are refused at once, not waited on or read for ever.
  const std::string fifo = (folder / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(Pro::GetMD5FromFile(fifo.c_str(), out));
  EXPECT_FALSE(Pro::GetMD5FromFile("/dev/zero", out));
  EXPECT_STREQ(out, "unchanged");
}

TEST(DigestOfFile, FileContentWithNulBytesCounts) {
  orvane::testing::TempFolder folder;
  std::string path = (folder / "nul.bin").string();
  std::ofstream(path, std::ios::binary) << std::string("a\0b", 3);
  char withNul[33];
  char plain[33];
  ASSERT_TRUE(Pro::GetMD5FromFile(path.c_str(), withNul));
  ASSERT_TRUE(Pro::GetMD5FromString("a", plain));
  EXPECT_STRNE(withNul, plain);
}

TEST(Digests, RefuseNullArguments) {
  char narrow[33];
  wchar_t wide[33];
  EXPECT_FALSE(Pro::GetMD5FromString(static_cast<const char*>(nullptr), narrow));
  EXPECT_FALSE(Pro::GetMD5FromString("abc", static_cast<char*>(nullptr)));
  EXPECT_FALSE(Pro::GetMD5FromString(static_cast<const wchar_t*>(nullptr), wide));
  EXPECT_FALSE(Pro::GetMD5FromFile(static_cast<const char*>(nullptr), narrow));
  EXPECT_FALSE(Pro::GetMD5FromFile(L"/tmp", static_cast<wchar_t*>(nullptr)));
}

// Digests share no buffer: threads computing different digests at once each get their own.
TEST(Digests, AreSafeFromSeveralThreads) {
  constexpr int kRepeats = 2000;
  std::vector<int> wrong(kDigests.size() - 1, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t + 1 < kDigests.size(); ++t) {
    threads.emplace_back([t, &wrong] {
      char out[33];
      for (int i = 0; i < kRepeats; ++i) {
        if (!Pro::GetMD5FromString(kDigests[t].text.c_str(), out) || out != kDigests[t].digest) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : wrong) EXPECT_EQ(count, 0);
}

}  // namespace
