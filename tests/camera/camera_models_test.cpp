// Camera discovery: identification order, model codes, default sizes and DPI, resolution lists,
// the model profile and capabilities; behind a fake probe, the simulated device library and,
// end to end, the USB source over simulated cameras.
#include "camera/camera_models.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>

#include "app/sys_param.h"
#include "camera/virtual_camera.h"
#include "platform/simulated_v4l2.h"
#include "simulator_control.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::SimulatorControl;
using Sizes = std::vector<std::pair<int, int>>;

struct FakeCamera {
  std::string vendor;
  std::string product;
  std::optional<PropertyRange> sharpness;
  bool gainReadable = true;
  Sizes sizes{};
  bool stillPin = false;
  std::vector<int> formats{kFormatYUY2};
};

class FakeProbe : public ICameraProbe {
 public:
  std::vector<FakeCamera> cameras;

  std::vector<std::string> DevicePaths() override {
    std::vector<std::string> paths;
    for (const FakeCamera& camera : cameras) {
      paths.push_back("\\\\?\\usb#vid_" + camera.vendor + "&pid_" + camera.product + "&mi_00#0&1-2#video0");
    }
    return paths;
  }
  bool GetProcAmpRange(const std::string& vendor, const std::string& product, long property,
                       PropertyRange* range) override {
    const FakeCamera* camera = Find(vendor, product);
    if (camera == nullptr) return false;
    if (property == 4 && camera->sharpness) *range = *camera->sharpness;
    if (property == 9 && camera->gainReadable) *range = PropertyRange{0, 100, 1, 32, 2};
    return (property == 4 && camera->sharpness) || (property == 9 && camera->gainReadable);
  }
  Sizes DeviceSizes(const std::string& vendor, const std::string& product, bool) override {
    const FakeCamera* camera = Find(vendor, product);
    return camera ? camera->sizes : Sizes{};
  }
  bool HasStillPin(const std::string& vendor, const std::string& product) override {
    const FakeCamera* camera = Find(vendor, product);
    return camera && camera->stillPin;
  }
  std::vector<int> FormatList(const std::string& vendor, const std::string& product) override {
    const FakeCamera* camera = Find(vendor, product);
    return camera ? camera->formats : std::vector<int>{};
  }

 private:
  const FakeCamera* Find(const std::string& vendor, const std::string& product) const {
    for (const FakeCamera& camera : cameras) {
      // Devices answer to their ids in either case, as the USB source matches them.
      if (strcasecmp(camera.vendor.c_str(), vendor.c_str()) == 0 &&
          strcasecmp(camera.product.c_str(), product.c_str()) == 0) {
        return &camera;
      }
    }
    return nullptr;
  }
};

PropertyRange Sharpness(long defaultValue, long maximum) { return PropertyRange{0, maximum, 1, defaultValue, 2}; }

class CameraModelsTest : public ::testing::Test {
 protected:
  SimulatorControl sim_;
  // No device library unless a test asks for it: a scan that finds nothing takes 3 s.
  testing::ScopedEnvironment noLibrary_{"ORVANE_DEVICE_LIBRARY", "/nonexistent/libRNX_WMP.so"};
  std::shared_ptr<FakeProbe> probe_ = std::make_shared<FakeProbe>();
  CCameraModelTable table_{probe_};

  void SetUp() override { sim_.SetDevice(false, ""); }

  struct Identified {
    std::string vendor, product, text;
    int kind = -2;
  };
  Identified Identify() {
    Identified result;
    EXPECT_EQ(table_.IdentifyCamera(&result.product, &result.text, &result.vendor, &result.kind), 0);
    return result;
  }
};

struct OrderCase {
  std::vector<std::pair<std::string, std::string>> attached;
  std::string vendor, product;
};

TEST_F(CameraModelsTest, TheFirstKnownPairInTableOrderWins) {
  const OrderCase cases[] = {
      {{{"3C4D", "A0C8"}, {"3C4D", "1A2B"}}, "3C4D", "1A2B"},
      {{{"3C4D", "A1F4"}, {"1C4D", "1A2B"}}, "1C4D", "1A2B"},
      {{{"3C4D", "E0C8"}, {"3C4D", "B640"}}, "3C4D", "B640"},
      {{{"05da", "f052"}, {"1772", "1012"}}, "1772", "1012"},  // paths in lower case still match
      {{{"05da", "f052"}, {"1E4E", "A0C8"}}, "05DA", "F052"},
      {{{"3C4D", "FFFF"}}, "", ""},
  };
  for (const OrderCase& test : cases) {
    probe_->cameras.clear();
    for (const auto& [vendor, product] : test.attached) probe_->cameras.push_back({vendor, product, Sharpness(10, 15)});
    const Identified found = Identify();
    EXPECT_EQ(found.vendor, test.vendor) << test.product;
    EXPECT_EQ(found.product, test.product);
    EXPECT_EQ(found.kind, test.vendor.empty() ? -1 : 5);
    EXPECT_EQ(found.text, "");
  }
}

TEST_F(CameraModelsTest, ADevicePathWithoutIdsMatchesNothing) {
  EXPECT_EQ(IdsFromDevicePath("\\\\?\\usb#vid_3c4d&pid_1a2b&mi_00#x"), std::make_pair(std::string("3C4D"), std::string("1A2B")));
  EXPECT_EQ(IdsFromDevicePath("/dev/video0"), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(IdsFromDevicePath("usb#vid_3c"), std::make_pair(std::string(), std::string()));
}

TEST_F(CameraModelsTest, ACameraPluggedInLaterIsFoundAtTheNextIdentification) {
  EXPECT_EQ(Identify().kind, -1);
  probe_->cameras.push_back({"3C4D", "B640", Sharpness(10, 15)});
  const Identified found = Identify();
  EXPECT_EQ(found.product, "B640");
  EXPECT_EQ(found.kind, 5);
  probe_->cameras.clear();
  EXPECT_EQ(Identify().kind, -1);
}

struct CodeCase {
  std::optional<PropertyRange> sharpness;
  bool gainReadable;
  int code;
};

TEST_F(CameraModelsTest, ModelCodeFromTheSharpnessRange) {
  const CodeCase cases[] = {
      {Sharpness(3, 7), true, 1},    {Sharpness(4, 15), true, 10},  {Sharpness(4, 6), true, 4},
      {Sharpness(4, 8), true, -1},   {Sharpness(5, 9), true, 11},   {Sharpness(7, 15), true, 9},
      {Sharpness(10, 15), true, 5},  {Sharpness(28, 100), true, 7}, {Sharpness(28, 6), true, 8},
      {Sharpness(28, 50), true, -1}, {Sharpness(40, 100), true, 0}, {Sharpness(50, 100), false, 6},
      {Sharpness(50, 100), true, 12}, {Sharpness(98, 100), false, 12}, {Sharpness(11, 15), true, -1},
      {std::nullopt, true, -1},
  };
  for (const CodeCase& test : cases) {
    probe_->cameras = {{"3C4D", "B514", test.sharpness, test.gainReadable}};
    EXPECT_EQ(table_.QueryModelCode("3C4D", "B514"), test.code)
        << (test.sharpness ? test.sharpness->defaultValue : -1) << " gain " << test.gainReadable;
  }
  probe_->cameras.clear();
  EXPECT_EQ(table_.QueryModelCode("3C4D", "B514"), -1);
}

TEST_F(CameraModelsTest, PortraitAndThirdCameras) {
  const std::pair<PropertyRange, int> codes[] = {{Sharpness(3, 7), 2},    {Sharpness(4, 6), 0},
                                                 {Sharpness(28, 100), 3}, {Sharpness(28, 6), 1},
                                                 {Sharpness(98, 100), 4}, {Sharpness(10, 15), -1}};
  for (const auto& [sharpness, code] : codes) {
    probe_->cameras = {{"1E4E", "0320", sharpness}, {"1E4E", "012C", Sharpness(40, 100)}};
    int kind = -2;
    std::string vendor, product;
    table_.IdentifySecondCamera(&kind, &vendor, &product);
    EXPECT_EQ(product, "012C");  // earlier in the portrait list than 0320
    probe_->cameras[1].sharpness = sharpness;
    table_.IdentifySecondCamera(&kind, &vendor, &product);
    EXPECT_EQ(kind, code) << sharpness.defaultValue;
  }

  probe_->cameras = {{"1E4E", "010A", Sharpness(4, 6)}};
  int kind = -2;
  std::string vendor = "x", product = "y";
  table_.IdentifySecondCamera(&kind, &vendor, &product);
  EXPECT_EQ(kind, -1);
  EXPECT_EQ(vendor, "");
  EXPECT_EQ(product, "");
  table_.IdentifyThirdCamera(&kind, &vendor, &product);
  EXPECT_EQ(vendor, "1E4E");
  EXPECT_EQ(product, "010A");
  EXPECT_EQ(kind, 0);
}

TEST_F(CameraModelsTest, WithoutAKnownCameraTheDeviceLibraryIsAsked) {
  std::optional<testing::ScopedEnvironment> library;
  library.emplace("ORVANE_DEVICE_LIBRARY", testing::kSimulatorPath);
  sim_.SetDevice(true, "192.168.1.20");
  Identified found = Identify();
  EXPECT_EQ(found.kind, kDeviceLibraryModel);
  EXPECT_EQ(found.text, "192.168.1.20");
  EXPECT_EQ(found.vendor, "");
  EXPECT_EQ(found.product, "");
  EXPECT_EQ(sim_.Calls("RNX_WMP_ScanDevice_UnInit"), 1);

  // A 20-byte address without its terminator is cut to the 19 the station keeps.
  sim_.SetDevice(true, "fe80::1:2:3:4:5:6:77");
  EXPECT_EQ(Identify().text, "fe80::1:2:3:4:5:6:7");

  library.reset();  // back to no library
  found = Identify();
  EXPECT_EQ(found.kind, -1);
  EXPECT_EQ(found.text, "");
}

TEST_F(CameraModelsTest, GetDeviceDllInfoResults) {
  std::string text = "old";
  EXPECT_EQ(table_.GetDeviceDllInfo(&text), kDllInfoNotLoadable);
  {
    testing::ScopedEnvironment partial("ORVANE_DEVICE_LIBRARY", testing::kPartialSimulatorPath);
    EXPECT_EQ(table_.GetDeviceDllInfo(&text), kDllInfoScanMissing);
  }
  EXPECT_EQ(text, "old");
}

TEST_F(CameraModelsTest, AScanThatSucceedsLateIsWaitedFor) {
  testing::ScopedEnvironment library("ORVANE_DEVICE_LIBRARY", testing::kSimulatorPath);
  sim_.SetDevice(true, "10.1.1.5");
  sim_.Fail("RNX_WMP_ScanDevice_Init", -1, 1, 1);
  sim_.Fail("RNX_WMP_Scan_GetDeviceInfo", -1, 1, 1);  // the second attempt's call
  sim_.Delay("RNX_WMP_Scan_GetDeviceInfo", 50);
  std::string text;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(table_.GetDeviceDllInfo(&text), kDllInfoDone);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);  // two pauses of 300 ms
  EXPECT_EQ(text, "10.1.1.5");
  EXPECT_EQ(sim_.Calls("RNX_WMP_ScanDevice_Init"), 3);
  EXPECT_EQ(sim_.Calls("RNX_WMP_ScanDevice_UnInit"), 1);
}

TEST_F(CameraModelsTest, TenFailedScansGiveNoDevice) {
  testing::ScopedEnvironment library("ORVANE_DEVICE_LIBRARY", testing::kSimulatorPath);
  std::string text;
  EXPECT_EQ(table_.GetDeviceDllInfo(&text), kDllInfoDone);
  EXPECT_EQ(text, "");
  EXPECT_EQ(sim_.Calls("RNX_WMP_Scan_GetDeviceInfo"), 10);
  EXPECT_EQ(sim_.Calls("RNX_WMP_ScanDevice_UnInit"), 1);
}

struct SizeCase {
  int kind;
  const char* vendor;
  const char* product;
  int width, height, dpi;  // -1: left as it was
};

TEST_F(CameraModelsTest, DefaultSizeAndDpiPerModel) {
  const SizeCase cases[] = {
      {0, "3C4D", "53E8", 3742, 2806, 310}, {2, "3C4D", "1A2B", 2592, 1944, 215},
      {4, "05DA", "F052", 3742, 2806, 310}, {4, "3C4D", "A4B0", 4000, 3000, 332},
      {4, "3C4D", "A640", 4608, 3456, 382}, {4, "3C4D", "A1F4", 3264, 2448, 270},
      {5, "3C4D", "B640", 4608, 3456, 382}, {5, "3C4D", "B708", 4904, 3678, 407},
      {5, "3C4D", "B514", 4160, 3120, 345}, {6, "3C4D", "B3E8", 3742, 2806, 310},
      {6, "3C4D", "B640", -1, -1, -1},      {7, "3C4D", "A0C8", -1, -1, -1},
      {8, "3C4D", "A0C8", 1600, 1200, 130}, {9, "3C4D", "1B2C", 2592, 1944, 215},
      {9, "1C4D", "1A2B", -1, -1, -1},      {10, "3C4D", "C514", 4208, 3120, 345},
      {10, "3C4D", "C708", 4904, 3678, 407}, {11, "3C4D", "D44C", 3840, 2880, 320},
      {12, "3C4D", "E0C8", 1920, 1080, 130}, {-1, "", "", -1, -1, -1},
      {100, "", "", -1, -1, -1},
  };
  for (const SizeCase& test : cases) {
    int xDpi = -1, yDpi = -1, width = -1, height = -1;
    table_.GetModelMaxSizeAndDpi(test.kind, test.vendor, test.product, &xDpi, &yDpi, &width, &height);
    EXPECT_EQ(width, test.width) << test.kind << " " << test.product;
    EXPECT_EQ(height, test.height) << test.kind << " " << test.product;
    EXPECT_EQ(xDpi, test.dpi) << test.kind << " " << test.product;
    EXPECT_EQ(yDpi, test.dpi) << test.kind << " " << test.product;
  }
}

TEST_F(CameraModelsTest, StartUpTakesTheModelSizeAndTheDpiOnlyWhenTheStoredOneIsBelowOne) {
  const std::pair<int, int> dpis[] = {{0, 300}, {300, 0}, {300, 300}};
  for (const auto& [x, y] : dpis) {
    CSysParam settings;
    settings.documentCamera = {5, "3C4D", "B640", "", 1280, 720};
    settings.xDpi = x;
    settings.yDpi = y;
    ApplyModelDefaults(settings, table_);
    EXPECT_EQ(settings.documentCamera.width, 4608);
    EXPECT_EQ(settings.documentCamera.height, 3456);
    const bool replaced = x < 1 || y < 1;
    EXPECT_EQ(settings.xDpi, replaced ? 382 : x);
    EXPECT_EQ(settings.yDpi, replaced ? 382 : y);
    EXPECT_EQ(settings.portraitCamera.width, 1600);
    EXPECT_EQ(settings.portraitCamera.height, 1200);
    EXPECT_EQ(settings.thirdCamera.width, 2592);
    EXPECT_EQ(settings.thirdCamera.height, 1944);
  }
}

Sizes ListOf(const CCameraModelTable& table, int which, std::vector<bool>* flags) {
  Sizes sizes;
  flags->clear();
  const int count = which == 0 ? table.GetResolutionCount()
                  : which == 1 ? table.GetPortraitResolutionCount()
                               : table.GetAdditionalResolutionCount();
  for (int i = 0; i < count; ++i) {
    int width = 0, height = 0, area = 0;
    bool cameraOnly = false;
    const bool ok = which == 0   ? table.GetResolution(i, &width, &height, &area, &cameraOnly)
                    : which == 1 ? table.GetPortraitResolution(i, &width, &height, &area, &cameraOnly)
                                 : table.GetAdditionalResolution(i, &width, &height, &area, &cameraOnly);
    EXPECT_TRUE(ok);
    EXPECT_EQ(area, width * height);
    sizes.emplace_back(width, height);
    flags->push_back(cameraOnly);
  }
  return sizes;
}

TEST_F(CameraModelsTest, ResolutionListMergesCameraAndModelSizesLargestFirst) {
  probe_->cameras = {{"3C4D", "B708", Sharpness(10, 15), true, {{640, 480}, {4608, 3456}, {1280, 720}, {640, 480}}}};
  table_.BuildResolutionList("B708", 5, "3C4D", false);
  std::vector<bool> flags;
  EXPECT_EQ(ListOf(table_, 0, &flags), (Sizes{{4904, 3678}, {4608, 3456}, {1280, 720}, {640, 480}}));
  EXPECT_EQ(flags, (std::vector<bool>{false, false, true, true}));

  // Built again from scratch; kinds from 301 keep the order sizes were added in.
  table_.BuildResolutionList("B708", 301, "3C4D", false);
  EXPECT_EQ(ListOf(table_, 0, &flags), (Sizes{{640, 480}, {4608, 3456}, {1280, 720}}));

  int width = 7, height = 7, area = 7;
  bool cameraOnly = false;
  EXPECT_FALSE(table_.GetResolution(3, &width, &height, &area, &cameraOnly));
  EXPECT_EQ(std::make_tuple(width, height, area, cameraOnly), std::make_tuple(0, 0, 0, true));
}

TEST_F(CameraModelsTest, TheSortSwapsLaterLargerEntriesIntoPlace) {
  // Equal areas: the exchange sort puts 2400 x 800 before 1600 x 1200, unlike a stable sort.
  probe_->cameras = {{"3C4D", "A0C8", Sharpness(28, 6), true, {{1600, 1200}, {2400, 800}, {3264, 2448}}}};
  table_.BuildResolutionList("A0C8", 8, "3C4D", false);
  std::vector<bool> flags;
  EXPECT_EQ(ListOf(table_, 0, &flags), (Sizes{{3264, 2448}, {2400, 800}, {1600, 1200}}));
}

TEST_F(CameraModelsTest, PortraitAndThirdListsAndTheirPreviewSizes) {
  int width = -2, height = -2;
  table_.GetDefaultPreviewSize(101, &width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(0, 0));
  probe_->cameras = {{"1E4E", "01F4", Sharpness(4, 6), true, {{640, 480}, {2048, 1536}}},
                     {"1E4E", "010A", Sharpness(4, 6), true, {{800, 600}}}};
  table_.BuildPortraitResolutionList("01F4", 0, "1E4E", false);
  table_.BuildAdditionalResolutionList("010A", 100, "1E4E", false);
  std::vector<bool> flags;
  EXPECT_EQ(ListOf(table_, 1, &flags), (Sizes{{2592, 1944}, {2048, 1536}, {640, 480}}));
  EXPECT_EQ(flags, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(ListOf(table_, 2, &flags), (Sizes{{800, 600}}));
  table_.GetDefaultPreviewSize(100, &width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(2592, 1944));
  table_.GetDefaultPreviewSize(101, &width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(800, 600));
  const std::tuple<int, int, int> modes[] = {{0, 1280, 720}, {1, 1600, 1200}, {2, 2592, 1944},
                                             {3, 2560, 720}, {4, 1920, 1080}, {5, -1, -1}};
  for (const auto& [mode, w, h] : modes) {
    table_.GetDefaultPreviewSize(mode, &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(w, h)) << mode;
  }

  // In the fixed layout: kind 301 from the document list's first entry, no DPI.
  probe_->cameras = {{"3C4D", "B514", Sharpness(10, 15), true, {{800, 600}, {2048, 1536}}}};
  table_.BuildResolutionList("B514", 301, "3C4D", false);
  int dpi = -1;
  table_.GetModelMaxSizeAndDpi(301, "3C4D", "B514", &dpi, &dpi, &width, &height);
  EXPECT_EQ(std::make_tuple(width, height, dpi), std::make_tuple(800, 600, -1));
  table_.Release();
  EXPECT_EQ(table_.GetResolutionCount(), 0);
}

struct ProfileCase {
  const char* vendor;
  const char* product;
  int profile;
};

TEST(ModelProfileTest, ProfileFromTheDocumentIds) {
  const ProfileCase cases[] = {
      {"3C4D", "1A2B", 0}, {"3C4D", "192A", 0}, {"2B16", "6689", 0}, {"0C4D", "A3E8", 0}, {"3C4D", "A640", 0},
      {"1772", "1012", -1}, {"05DA", "F052", 0}, {"3C4D", "B514", 2}, {"3C4D", "B708", 2}, {"3C4D", "C640", 0},
      {"3C4D", "E0C8", -1}, {"1C4D", "A3E8", -1}, {"", "", -1},
  };
  for (const ProfileCase& test : cases) {
    CSysParam settings;
    settings.documentCamera.vendorId = test.vendor;
    settings.documentCamera.productId = test.product;
    EXPECT_EQ(SelectModelProfile(settings), test.profile) << test.vendor << "/" << test.product;
    EXPECT_EQ(settings.modelProfile, test.profile);
  }
}

struct CapsCase {
  int profile;
  bool stillPin;
  bool offersMjpg;
  bool stillCaptureAfter;  // still capture and MJPG mode were on
  bool mjpgModeAfter;
};

TEST(ProbeDeviceCapsTest, StillCaptureAndMjpgFollowTheProfileAndTheCamera) {
  const CapsCase cases[] = {
      {2, true, true, true, true},   {2, false, true, false, true}, {2, true, false, true, false},
      {0, true, true, false, true},  {0, true, false, false, false}, {1, true, false, true, true},
      {-1, true, false, false, true},
  };
  for (const CapsCase& test : cases) {
    FakeProbe probe;
    probe.cameras = {{"3C4D", "B514", Sharpness(10, 15), true, {}, test.stillPin,
                      test.offersMjpg ? std::vector<int>{kFormatYUY2, kFormatMJPG} : std::vector<int>{kFormatYUY2}}};
    CSysParam settings;
    settings.documentCamera.vendorId = "3C4D";
    settings.documentCamera.productId = "B514";
    settings.modelProfile = test.profile;
    settings.stillCapture = true;
    settings.mjpgMode = true;
    ProbeDeviceCaps(settings, probe);
    EXPECT_EQ(settings.documentCamera.stillPinCapable, test.stillPin);
    EXPECT_EQ(settings.documentCamera.mjpgCapable, test.offersMjpg);
    EXPECT_EQ(settings.stillCapture, test.stillCaptureAfter) << test.profile << test.stillPin << test.offersMjpg;
    EXPECT_EQ(settings.mjpgMode, test.mjpgModeAfter) << test.profile << test.stillPin << test.offersMjpg;
  }
}

// End to end through the USB source: simulated cameras built as the virtual camera presents
// itself are identified as the models they claim.
TEST(CameraDiscoveryOverUsbTest, TheVirtualCameraIsTheModelItClaims) {
  struct Case {
    VirtualCameraIdentity identity;
    bool withGain;
    int kind;
  };
  VirtualCameraIdentity standard;  // as the virtual camera starts
  VirtualCameraIdentity compact;
  compact.productId = "A0C8";
  compact.sharpnessDefault = 28;
  compact.sharpnessMaximum = 6;
  VirtualCameraIdentity fifty;
  fifty.productId = "E0C8";
  fifty.sharpnessDefault = 50;
  fifty.sharpnessMaximum = 100;
  for (const Case& test : {Case{standard, true, 5}, Case{compact, true, 8}, Case{fifty, true, 12},
                           Case{fifty, false, 6}}) {
    platform::SimulatedCameraModel model = VirtualCameraModel(test.identity);
    if (!test.withGain) {
      std::erase_if(model.controls, [](const platform::SimulatedControl& control) { return control.id == V4L2_CID_GAIN; });
    }
    auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
    backend->Add(std::make_shared<platform::SimulatedV4l2Camera>(model));
    CCameraModelTable table(std::make_shared<UsbCameraProbe>(backend));
    std::string vendor, product, text;
    int kind = -2;
    table.IdentifyCamera(&product, &text, &vendor, &kind);
    EXPECT_EQ(vendor, test.identity.vendorId);
    EXPECT_EQ(product, test.identity.productId);
    EXPECT_EQ(kind, test.kind) << test.identity.productId << " gain " << test.withGain;
  }

  VirtualCamera camera;
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(camera.Camera());
  CCameraModelTable table(std::make_shared<UsbCameraProbe>(backend));
  CSysParam settings;
  CDeviceSlot& slot = settings.documentCamera;
  table.IdentifyCamera(&slot.productId, &slot.deviceText, &slot.vendorId, &slot.kind);
  settings.xDpi = 0;
  ApplyModelDefaults(settings, table);
  EXPECT_EQ(std::make_tuple(slot.width, slot.height, settings.xDpi), std::make_tuple(4160, 3120, 345));
  table.BuildResolutionList(slot.productId, slot.kind, slot.vendorId, false);
  std::vector<bool> flags;
  const Sizes sizes = ListOf(table, 0, &flags);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.front(), std::make_pair(4160, 3120));
  EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end(),
                             [](auto a, auto b) { return a.first * a.second > b.first * b.second; }));
}

}  // namespace
}  // namespace orvane
