#include <algorithm>
#include <future>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "platform/message_ids.h"
#include "platform/window_bus.h"
#include "private_bus.h"
#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;
using namespace std::chrono_literals;
using ::orvane::testing::CompanionMemory;
using ::orvane::testing::FakeCompanion;
using ::orvane::testing::PrivateBus;
using Received = FakeCompanion::Received;

class CompanionTest : public StationTest {
 protected:
  ~CompanionTest() override { window.reset(); }

  StationEnvironment Environment() {
    StationEnvironment environment = StationTest::Environment();
    environment.companionBus = bus.Address();
    environment.imagePathMemory = memoryName;
    return environment;
  }
  StartUp StartHere() {
    camera_ = std::make_unique<VirtualCamera>(SmallCamera());
    backend->Add(camera_->Camera());
    window = std::make_unique<COrvaneDlg>(Environment());
    const StartUp result = window->OnInitDialog();
    if (result == StartUp::kRunning) window->show();
    return result;
  }
  std::string Caption() const { return window->windowTitle().toStdString(); }
  // A companion's call to the station: from a thread of its own, while this one runs the window.
  std::optional<platform::MessageResult> CallStation(platform::MessageId id) {
    platform::WindowBus companion(bus.Address());
    auto answer = std::async(std::launch::async, [&] { return companion.Send(Caption(), id); });
    EXPECT_TRUE(WaitFor([&] { return answer.wait_for(0s) == std::future_status::ready; }));
    return answer.get();
  }
  fs::path Capture() {
    const std::vector<fs::path> before = Pictures();
    window->OnCommand(ControlId::Capture);
    const std::vector<fs::path> after = Pictures();
    std::vector<fs::path> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    EXPECT_EQ(added.size(), 1u);
    return added.empty() ? fs::path() : added.front();
  }

  PrivateBus bus;
  const std::string memoryName = ::orvane::testing::UniqueMemoryName("OrvaneImageDataMap");
  std::unique_ptr<VirtualCamera> camera_;
};

struct ServerCase {
  const char* name;
  bool present;
  std::optional<platform::MessageResult> answer;  // none: it never answers
  StartUp expected;
};

class CompanionServerTest : public CompanionTest, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(CompanionServerTest, OnlyAServerThatAnswersOtherwiseEndsTheStation) {
  const ServerCase& c = GetParam();
  std::optional<FakeCompanion> server;
  if (c.present) server.emplace(bus.Address(), "OrvaneServer", std::vector{ids::kServerQuery}, c.answer);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StartHere(), c.expected);
  const auto took = std::chrono::steady_clock::now() - start;
  if (server) {
    EXPECT_EQ(server->Messages(), (std::vector<Received>{{ids::kServerQuery, 0, 0}}));
  }
  if (c.expected == StartUp::kEnd) {
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].text, window->MessageTexts().deviceBusy);
    EXPECT_EQ(window->Cameras().document, nullptr) << "the camera is the other program's";
  } else {
    EXPECT_TRUE(presenter.shown.empty());
    EXPECT_NE(window->Cameras().document, nullptr);
  }
  if (c.present && !c.answer) {
    EXPECT_GE(took, 1900ms) << "the station did not wait for the server";
    EXPECT_LT(took, 60s) << "the station waited on beyond the server's time-out";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CompanionServerTest,
                         ::testing::Values(ServerCase{"Absent", false, 0, StartUp::kRunning},
                                           ServerCase{"Answers51", true, ids::kServerReply, StartUp::kRunning},
                                           ServerCase{"AnswersOtherwise", true, 0, StartUp::kEnd},
                                           ServerCase{"NeverAnswers", true, std::nullopt, StartUp::kRunning}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MemoryCase {
  const char* name;
  std::size_t size;  // 0: the companion made none
  platform::MessageResult reply;
  bool pathShown;  // the memory holds the path; otherwise, when there is one, only zero bytes
};

class ImagePathTest : public CompanionTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(ImagePathTest, TheLastPictureSavedGoesIntoTheCompanionsMemoryAndImageIsTold) {
  const MemoryCase& c = GetParam();
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  ASSERT_TRUE(WaitForPicture());
  FakeCompanion image(bus.Address(), "Image", {ids::kImagePathPublished});
  std::optional<CompanionMemory> memory;
  if (c.size > 0) memory.emplace(memoryName, c.size);
  Capture();
  const fs::path last = Capture();
  ASSERT_FALSE(last.empty());

  EXPECT_EQ(CallStation(ids::kShareImagePath), c.reply);
  if (memory) {
    std::string expected = c.pathShown ? fs::absolute(last).string() : std::string();
    expected.resize(c.size + 4096, '\0');
    EXPECT_EQ(memory->Bytes(4096), expected) << "nothing past the memory's end, a zero byte after the path";
  }
  const std::vector<Received> told{{ids::kImagePathPublished, 0, 0}};
  if (c.size > 0) {
    EXPECT_TRUE(WaitFor([&] { return image.Messages() == told; }, 3s));
  } else {
    WaitFor([] { return false; }, 200ms);
    EXPECT_TRUE(image.Messages().empty());
  }
  // Companions reach nothing else of the station.
  EXPECT_EQ(CallStation(ids::kCalibrateDpi), 0);
  EXPECT_TRUE(presenter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ImagePathTest,
                         ::testing::Values(MemoryCase{"Room", 4096, 0, true}, MemoryCase{"SixteenBytes", 16, 0, false},
                                           MemoryCase{"NoMemory", 0, 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompanionTest, AMemoryTheCompanionMadeAnewReceivesTheNextPath) {
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  ASSERT_TRUE(WaitForPicture());
  std::optional<CompanionMemory> memory(std::in_place, memoryName, 4096);
  const fs::path first = Capture();
  EXPECT_EQ(CallStation(ids::kShareImagePath), 0);
  EXPECT_EQ(memory->Bytes().substr(0, first.string().size()), fs::absolute(first).string());
  // The companion restarts: its old memory goes and a new one of the same name takes its place.
  memory.reset();
  memory.emplace(memoryName, 4096);
  const fs::path second = Capture();
  EXPECT_EQ(CallStation(ids::kShareImagePath), 0);
  std::string expected = fs::absolute(second).string();
  expected.resize(4096, '\0');
  EXPECT_EQ(memory->Bytes(), expected);
}

class ClosingTest : public CompanionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTest, TheClosingCompanionIsToldAndAHungOneDoesNotHoldTheStation) {
  const bool hangs = GetParam();
  WriteSettings("[FennicQt]\nCaption=Fennic Viewer (Fennic)\n");
  FakeCompanion companion(bus.Address(), "Kelvora Viewer (Kelvora)", {ids::kStationClosing},
                          hangs ? std::nullopt : std::optional<platform::MessageResult>(0));
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  const std::string caption = Caption();
  platform::WindowBus companions(bus.Address());
  EXPECT_TRUE(companions.FindWindow(caption));
  const auto start = std::chrono::steady_clock::now();
  window->close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(companion.Messages(), (std::vector<Received>{{ids::kStationClosing, 0, 0}}));
  EXPECT_FALSE(companions.FindWindow(caption)) << "the closed station left the bus";
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Hung" : "Answering"; });

}  // namespace
}  // namespace orvane::ui::testing
