#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "private_bus.h"

namespace orvane::platform {
namespace {

using ::orvane::testing::CompanionMemory;
using ::orvane::testing::UniqueMemoryName;

struct WriteCase {
  const char* name;
  std::size_t size;
  std::string earlier;  // written first, or nothing
  std::string text;
  bool whole;
  std::string expected;  // the memory's bytes afterwards
};

std::string Padded(std::string text, std::size_t size) {
  text.resize(size, '\0');
  return text;
}

TEST(SharedMemoryTest, ATextIsWrittenWholeWithAZeroByteAndNeverPastTheEnd) {
  const std::string longPath = "/home/user/Pictures/Calvest/20261211/IMG_0001.jpg";
  const WriteCase cases[] = {
      {"fits", 64, "", "/a/b.jpg", true, Padded("/a/b.jpg", 64)},
      {"fits to the last byte", 16, "", std::string(15, 'p'), true, Padded(std::string(15, 'p'), 16)},
      {"one byte too long", 16, "", std::string(16, 'p'), false, Padded("", 16)},
      {"far too long", 16, "", longPath, false, Padded("", 16)},
      {"shorter than the one before", 64, longPath, "/x.jpg", true, Padded("/x.jpg", 64)},
      {"too long after a short one", 16, "/x.jpg", longPath, false, Padded("", 16)},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    CompanionMemory companion(UniqueMemoryName("orvane-shm-test"), c.size);
    SharedMemory memory;
    ASSERT_EQ(memory.Open(UniqueMemoryName("orvane-shm-test")), SharedMemory::OpenResult::kOpen);
    EXPECT_EQ(memory.Size(), c.size);
    if (!c.earlier.empty()) memory.WriteText(c.earlier);
    EXPECT_EQ(memory.WriteText(c.text), c.whole);
    // Grown afterwards, the memory shows whatever was written past its end.
    EXPECT_EQ(companion.Bytes(4096), Padded(c.expected, c.size + 4096));
  }
}

TEST(SharedMemoryTest, AMemoryThatIsNotThereOrHasNoSizeIsNotOpened) {
  SharedMemory memory;
  EXPECT_EQ(memory.Open(UniqueMemoryName("orvane-shm-absent")), SharedMemory::OpenResult::kAbsent);
  EXPECT_EQ(memory.Open("a/b"), SharedMemory::OpenResult::kAbsent);
  CompanionMemory empty(UniqueMemoryName("orvane-shm-empty"), 0);
  EXPECT_EQ(memory.Open(UniqueMemoryName("orvane-shm-empty")), SharedMemory::OpenResult::kEmpty);
  EXPECT_FALSE(memory.IsOpen());
  EXPECT_FALSE(memory.WriteText("/a.jpg"));
}

TEST(SharedMemoryTest, AMemoryTheCompanionShrankIsWrittenOnlyAsFarAsItStillReaches) {
  const std::string name = UniqueMemoryName("orvane-shm-shrunk");
  CompanionMemory companion(name, 3 * 4096);
  SharedMemory memory;
  ASSERT_EQ(memory.Open(name), SharedMemory::OpenResult::kOpen);
  const int descriptor = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(ftruncate(descriptor, 8), 0);
  close(descriptor);
  EXPECT_EQ(memory.Size(), 8u);
  // Writing the pages that are gone would end the program with SIGBUS.
  EXPECT_FALSE(memory.WriteText(std::string(5000, 'p')));
  EXPECT_TRUE(memory.WriteText("/a.jpg"));
  EXPECT_EQ(companion.Bytes(4096), Padded("/a.jpg", 8 + 4096));
}

TEST(SharedMemoryTest, AMemoryTheCompanionKeepsResizingNeverEndsTheStation) {
  const std::string name = UniqueMemoryName("orvane-shm-resized");
  CompanionMemory companion(name, 3 * 4096);
  SharedMemory memory;
  ASSERT_EQ(memory.Open(name), SharedMemory::OpenResult::kOpen);
  const int descriptor = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(descriptor, 0);
  // A mapped write into a page cut off meanwhile would end this process with SIGBUS.
  std::atomic<bool> done{false};
  std::thread companionThread([&] {
    for (off_t size = 1; !done; size = size % (3 * 4096) + 997) {
      if (ftruncate(descriptor, size) != 0) break;
    }
  });
  const std::string path(6000, 'p');
  for (int i = 0; i < 20000; ++i) memory.WriteText(i % 2 == 0 ? std::string_view(path) : "/a.jpg");
  done = true;
  companionThread.join();
  ASSERT_EQ(ftruncate(descriptor, 64), 0);
  close(descriptor);
  EXPECT_TRUE(memory.WriteText("/a.jpg"));
  EXPECT_EQ(companion.Bytes(), Padded("/a.jpg", 64));
}

TEST(SharedMemoryTest, AMemoryAnotherUserMadeIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give the memory to another user";
  const std::string name = UniqueMemoryName("orvane-shm-foreign");
  CompanionMemory companion(name, 4096);
  const int descriptor = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(fchown(descriptor, 65534, 65534), 0);
  close(descriptor);
  SharedMemory memory;
  EXPECT_EQ(memory.Open(name), SharedMemory::OpenResult::kAbsent) << "it would read every path written";
  EXPECT_FALSE(memory.WriteText("/home/user/ID card.jpg"));
  EXPECT_EQ(companion.Bytes(), Padded("", 4096));
}

}  // namespace
}  // namespace orvane::platform
