#include "camera/camera_models.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <thread>

#include "app/sys_param.h"
#include "camera/device_library_source.h"
#include "camera/frame.h"
#include "camera/usb_camera.h"
#include "platform/device_library.h"
#include "platform/v4l2_device.h"

namespace orvane {

namespace {

constexpr long kSharpness = 4;
constexpr long kGain = 9;
constexpr long kRangeUnread = -1024;
constexpr int kScanAttempts = 10;
constexpr auto kScanRetryDelay = std::chrono::milliseconds(300);

using IdPair = std::pair<const char*, const char*>;

// Document cameras, the first attached pair wins.
constexpr IdPair kDocumentPairs[] = {
    {"3C4D", "1A2B"}, {"1C4D", "1A2B"}, {"3C4D", "A1F4"}, {"3C4D", "A0C8"}, {"3C4D", "B1F4"}, {"3C4D", "A3E8"},
    {"3C4F", "A3E8"}, {"3C4D", "A4B0"}, {"3C4D", "53E8"}, {"3C4D", "A320"}, {"3C4D", "2B1A"}, {"3C4D", "1B2C"},
    {"1772", "1012"}, {"05DA", "F052"}, {"3C4D", "B514"}, {"3C4D", "B640"}, {"3C4D", "B708"}, {"3C4D", "A640"},
    {"3C4E", "B1F4"}, {"3C4D", "B3E8"}, {"3C4D", "B320"}, {"3C4D", "B0C8"}, {"3C4D", "A0C8"}, {"3C4D", "C514"},
    {"3C4D", "C640"}, {"3C4D", "C708"}, {"3C4D", "D44C"}, {"3C4D", "D514"}, {"3C4D", "E0C8"}};

constexpr const char* kPortraitVendor = "1E4E";
constexpr const char* kPortraitProducts[] = {"A0C8", "0109", "012C", "01F4", "B0C8", "0320", "E0C8"};
constexpr const char* kThirdProduct = "010A";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Is(const std::string& vendor, const std::string& product, const char* wantVendor, const char* wantProduct) {
  return vendor == wantVendor && product == wantProduct;
}

struct SizeDpi {
  int width;
  int height;
  int dpi;
};

// The model's default size and DPI; nothing for a model without an entry.
std::optional<SizeDpi> ModelSize(int kind, const std::string& vendor, const std::string& product) {
  const auto ours = [&](const char* id) { return Is(vendor, product, "3C4D", id); };
  switch (kind) {
    case 0: case 1: case 2: case 3:
      return ours("53E8") ? SizeDpi{3742, 2806, 310} : SizeDpi{2592, 1944, 215};
    case 4:
      if (ours("A3E8") || Is(vendor, product, "05DA", "F052")) return SizeDpi{3742, 2806, 310};
      if (ours("A4B0")) return SizeDpi{4000, 3000, 332};
      if (ours("A640")) return SizeDpi{4608, 3456, 382};
      return SizeDpi{3264, 2448, 270};
    case 5:
      if (ours("B640")) return SizeDpi{4608, 3456, 382};
      if (ours("B708")) return SizeDpi{4904, 3678, 407};
      return SizeDpi{4160, 3120, 345};
    case 6:
      if (ours("B3E8")) return SizeDpi{3742, 2806, 310};
      break;
    case 8:
      if (ours("A0C8")) return SizeDpi{1600, 1200, 130};
      break;
    case 9:
      if (ours("1A2B") || ours("1B2C")) return SizeDpi{2592, 1944, 215};
      break;
    case 10:
      if (ours("C514")) return SizeDpi{4208, 3120, 345};
      if (ours("C640")) return SizeDpi{4608, 3456, 382};
      if (ours("C708")) return SizeDpi{4904, 3678, 407};
      break;
    case 11:
      if (ours("D44C")) return SizeDpi{3840, 2880, 320};
      if (ours("D514")) return SizeDpi{4160, 3120, 345};
      break;
    case 12:
      if (ours("E0C8")) return SizeDpi{1920, 1080, 130};
      break;
    default:
      break;
  }
  return std::nullopt;
}

// Sizes the model supports beyond (or besides) what the camera reports, in the order added.
std::vector<std::pair<int, int>> DocumentModelSizes(int kind, const std::string& vendor, const std::string& product) {
  const auto ours = [&](const char* id) { return Is(vendor, product, "3C4D", id); };
  if (kind >= 0 && kind <= 3 && ours("53E8")) return {{3264, 2448}, {3742, 2806}};
  if (kind == 4) {
    if (ours("A3E8") || Is(vendor, product, "05DA", "F052")) return {{3742, 2806}};
    if (ours("A4B0")) return {{3742, 2806}, {4000, 3000}};
    if (ours("A640")) return {{3742, 2806}, {4000, 3000}, {4608, 3456}};
  }
  if (kind == 5 && ours("B640")) return {{4608, 3456}};
  if (kind == 5 && ours("B708")) return {{4608, 3456}, {4904, 3678}};
  if (kind == 6 && ours("B3E8")) return {{3742, 2806}};
  if (kind == 6 && ours("B640")) return {{3742, 2806}, {4160, 3120}, {4608, 3456}};
  if (kind == 10 && ours("C640")) return {{4608, 3456}};
  if (kind == 10 && ours("C708")) return {{4904, 3678}, {4608, 3456}};
  if (kind == 11 && ours("D514")) return {{4160, 3120}};
  return {};
}

std::vector<std::pair<int, int>> PortraitModelSizes(const std::string& vendor, const std::string& product) {
  if (Is(vendor, product, kPortraitVendor, "012C")) return {{2048, 1536}};
  if (Is(vendor, product, kPortraitVendor, "01F4")) return {{2048, 1536}, {2592, 1944}};
  if (Is(vendor, product, kPortraitVendor, "0320")) return {{3264, 2448}};
  return {};
}

}  // namespace

// ---- The USB probe ----

UsbCameraProbe::UsbCameraProbe(std::shared_ptr<platform::IV4l2Backend> backend)
    : backend_(backend ? std::move(backend) : DefaultVideoBackend()) {}

std::vector<std::string> UsbCameraProbe::DevicePaths() {
  std::vector<std::string> paths;
  for (const platform::VideoCaptureDevice& device : platform::EnumerateCaptureDevices(*backend_)) {
    paths.push_back(device.devicePathText);
  }
  return paths;
}

bool UsbCameraProbe::GetProcAmpRange(const std::string& vendor, const std::string& product, long property,
                                     PropertyRange* range) {
  CUSBCamra source(backend_);
  std::vector<int> formats;
  // The question binds the unopened source to that camera; the range is then read from it.
  if (!source.GetDeviceFormatList(vendor, product, 0, &formats)) return false;
  return source.GetProcAmpRange(property, range) == kSuccess;
}

std::vector<std::pair<int, int>> UsbCameraProbe::DeviceSizes(const std::string& vendor, const std::string& product,
                                                             bool mjpg) {
  CUSBCamra source(backend_);
  source.SetFormatMode(mjpg ? kFormatMJPG : kFormatYUY2);
  std::vector<std::pair<int, int>> sizes;
  const int count = source.GetDeviceResolutionCount(vendor, product, 0);
  for (int i = 0; i < count; ++i) {
    int width = 0;
    int height = 0;
    if (source.GetDeviceResolution(vendor, product, 0, i, &width, &height) == 0) sizes.emplace_back(width, height);
  }
  return sizes;
}

bool UsbCameraProbe::HasStillPin(const std::string& vendor, const std::string& product) {
  CUSBCamra source(backend_);
  return source.HasStillPin(vendor, product, 0);
}

std::vector<int> UsbCameraProbe::FormatList(const std::string& vendor, const std::string& product) {
  CUSBCamra source(backend_);
  std::vector<int> formats;
  source.GetDeviceFormatList(vendor, product, 0, &formats);
  return formats;
}

// ---- Identification ----

std::pair<std::string, std::string> IdsFromDevicePath(const std::string& devicePath) {
  std::string lower = devicePath;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto after = [&](const char* key) -> std::string {
    const std::size_t at = lower.find(key);
    if (at == std::string::npos || at + 8 > lower.size()) return {};
    return Upper(lower.substr(at + 4, 4));
  };
  return {after("vid_"), after("pid_")};
}

CCameraModelTable::CCameraModelTable(std::shared_ptr<ICameraProbe> probe)
    : probe_(probe ? std::move(probe) : std::make_shared<UsbCameraProbe>()) {}

void CCameraModelTable::RefreshDevices() {
  // Made again at every identification: a camera plugged in since the last one must be seen.
  if (!devices_) devices_ = std::make_unique<std::vector<std::pair<std::string, std::string>>>();
  devices_->clear();
  for (const std::string& path : probe_->DevicePaths()) devices_->push_back(IdsFromDevicePath(path));
}

bool CCameraModelTable::FindDevice(const std::string& vendorId, const std::string& productId) const {
  if (!devices_) return false;
  return std::any_of(devices_->begin(), devices_->end(),
                     [&](const auto& entry) { return entry.first == vendorId && entry.second == productId; });
}

int CCameraModelTable::IdentifyCamera(std::string* productId, std::string* deviceText, std::string* vendorId,
                                      int* kind) {
  RefreshDevices();
  deviceText->clear();
  for (const auto& [vendor, product] : kDocumentPairs) {
    if (FindDevice(vendor, product)) {
      *vendorId = vendor;
      *productId = product;
      *kind = QueryModelCode(vendor, product);
      return 0;
    }
  }
  vendorId->clear();
  productId->clear();
  std::string text;
  const int result = GetDeviceDllInfo(&text);
  *kind = result == kDllInfoDone && !text.empty() ? kDeviceLibraryModel : kUnknownModel;
  *deviceText = text;
  return 0;
}

int CCameraModelTable::IdentifySecondCamera(int* kind, std::string* vendorId, std::string* productId) {
  RefreshDevices();
  vendorId->clear();
  productId->clear();
  for (const char* product : kPortraitProducts) {
    if (FindDevice(kPortraitVendor, product)) {
      *vendorId = kPortraitVendor;
      *productId = product;
      break;
    }
  }
  *kind = QueryPortraitModelCode(*vendorId, *productId);
  return 0;
}

int CCameraModelTable::IdentifyThirdCamera(int* kind, std::string* vendorId, std::string* productId) {
  RefreshDevices();
  vendorId->clear();
  productId->clear();
  if (FindDevice(kPortraitVendor, kThirdProduct)) {
    *vendorId = kPortraitVendor;
    *productId = kThirdProduct;
  }
  *kind = QueryPortraitModelCode(*vendorId, *productId);
  return 0;
}

int CCameraModelTable::QueryModelCode(const std::string& vendorId, const std::string& productId) {
  PropertyRange sharpness{kRangeUnread, kRangeUnread, kRangeUnread, kRangeUnread, kRangeUnread};
  if (!probe_->GetProcAmpRange(vendorId, productId, kSharpness, &sharpness)) sharpness.defaultValue = kRangeUnread;
  switch (sharpness.defaultValue) {
    case 3: return 1;
    case 4: return sharpness.maximum == 15 ? 10 : sharpness.maximum == 6 ? 4 : kUnknownModel;
    case 5: return 11;
    case 7: return 9;
    case 10: return 5;
    case 28: return sharpness.maximum == 100 ? 7 : sharpness.maximum == 6 ? 8 : kUnknownModel;
    case 40: return 0;
    case 50: {
      PropertyRange gain;
      return probe_->GetProcAmpRange(vendorId, productId, kGain, &gain) ? 12 : 6;
    }
    case 98: return 12;
    default: return kUnknownModel;
  }
}

int CCameraModelTable::QueryPortraitModelCode(const std::string& vendorId, const std::string& productId) {
  if (vendorId.empty() || productId.empty()) return kUnknownModel;
  PropertyRange sharpness{kRangeUnread, kRangeUnread, kRangeUnread, kRangeUnread, kRangeUnread};
  if (!probe_->GetProcAmpRange(vendorId, productId, kSharpness, &sharpness)) return kUnknownModel;
  switch (sharpness.defaultValue) {
    case 3: return 2;
    case 4: return 0;
    case 28: return sharpness.maximum == 100 ? 3 : sharpness.maximum == 6 ? 1 : kUnknownModel;
    case 98: return 4;
    default: return kUnknownModel;
  }
}

int CCameraModelTable::GetDeviceDllInfo(std::string* deviceText) {
  platform::SharedLibrary library;
  if (!library.Load(platform::DeviceLibraryPath())) return kDllInfoNotLoadable;
  auto* scanInit = library.Resolve<rnx::ScanInitFn>(rnx::ExportName(rnx::Export::ScanDeviceInit));
  auto* getInfo = library.Resolve<rnx::ScanGetDeviceInfoFn>(rnx::ExportName(rnx::Export::ScanGetDeviceInfo));
  auto* scanUnInit = library.Resolve<rnx::ScanUnInitFn>(rnx::ExportName(rnx::Export::ScanDeviceUnInit));
  if (scanInit == nullptr || getInfo == nullptr || scanUnInit == nullptr) return kDllInfoScanMissing;
  for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
    std::array<std::uint8_t, rnx::kInfoRecordSize> record{};
    int count = 0;
    if (scanInit(1) == 0 && getInfo(record.data(), &count) == 0 && count != 0) {
      scanUnInit();
      *deviceText = AnsiToWide(rnx::AddressFromInfoRecord(record.data()));
      return kDllInfoDone;
    }
    std::this_thread::sleep_for(kScanRetryDelay);
  }
  scanUnInit();
  return kDllInfoDone;
}

// ---- Sizes ----

void CCameraModelTable::GetModelMaxSizeAndDpi(int kind, const std::string& vendorId, const std::string& productId,
                                              int* xDpi, int* yDpi, int* width, int* height) {
  if (kind >= 301 && kind <= 303) {
    if (document_ && !document_->empty()) {
      *width = document_->front().width;
      *height = document_->front().height;
    }
    return;
  }
  if (const auto model = ModelSize(kind, vendorId, productId)) {
    *width = model->width;
    *height = model->height;
    *xDpi = model->dpi;
    *yDpi = model->dpi;
  }
}

void CCameraModelTable::GetDefaultPreviewSize(int mode, int* width, int* height) {
  const auto firstOf = [&](const std::unique_ptr<SizeList>& list) {
    const bool any = list && !list->empty();
    *width = any ? list->front().width : 0;
    *height = any ? list->front().height : 0;
  };
  switch (mode) {
    case 0: *width = 1280; *height = 720; break;
    case 1: *width = 1600; *height = 1200; break;
    case 2: *width = 2592; *height = 1944; break;
    case 3: *width = 2560; *height = 720; break;
    case 4: *width = 1920; *height = 1080; break;
    case 100: firstOf(portrait_); break;
    case 101: firstOf(third_); break;
    default: *width = -1; *height = -1; break;
  }
}

void CCameraModelTable::BuildList(std::unique_ptr<SizeList>& list, const std::string& vendorId,
                                  const std::string& productId, bool mjpg,
                                  const std::vector<std::pair<int, int>>& modelSizes, bool sort) {
  if (!list) list = std::make_unique<SizeList>();
  list->clear();
  const auto find = [&](int width, int height) {
    return std::find_if(list->begin(), list->end(),
                        [&](const SizeEntry& entry) { return entry.width == width && entry.height == height; });
  };
  for (const auto& [width, height] : probe_->DeviceSizes(vendorId, productId, mjpg)) {
    if (find(width, height) == list->end()) list->push_back({width, height, true, width * height});
  }
  for (const auto& [width, height] : modelSizes) {
    if (auto found = find(width, height); found != list->end()) found->cameraOnly = false;
    else list->push_back({width, height, false, width * height});
  }
  if (!sort) return;
  // Largest area first, by swapping each later larger entry into the position.
  for (std::size_t position = 0; position < list->size(); ++position) {
    for (std::size_t later = position + 1; later < list->size(); ++later) {
      if ((*list)[later].area > (*list)[position].area) std::swap((*list)[later], (*list)[position]);
    }
  }
}

void CCameraModelTable::BuildResolutionList(const std::string& productId, int kind, const std::string& vendorId,
                                            bool mjpg) {
  BuildList(document_, vendorId, productId, mjpg, DocumentModelSizes(kind, vendorId, productId), kind < 301);
}

void CCameraModelTable::BuildPortraitResolutionList(const std::string& productId, int kind,
                                                    const std::string& vendorId, bool mjpg) {
  BuildList(portrait_, vendorId, productId, mjpg, PortraitModelSizes(vendorId, productId), kind < 100);
}

void CCameraModelTable::BuildAdditionalResolutionList(const std::string& productId, int kind,
                                                      const std::string& vendorId, bool mjpg) {
  BuildList(third_, vendorId, productId, mjpg, PortraitModelSizes(vendorId, productId), kind < 100);
}

bool CCameraModelTable::Entry(const std::unique_ptr<SizeList>& list, int index, int* width, int* height, int* area,
                              bool* cameraOnly) {
  if (!list || index < 0 || index >= static_cast<int>(list->size())) {
    *width = *height = *area = 0;
    *cameraOnly = true;
    return false;
  }
  const SizeEntry& entry = (*list)[index];
  *width = entry.width;
  *height = entry.height;
  *area = entry.area;
  *cameraOnly = entry.cameraOnly;
  return true;
}

bool CCameraModelTable::GetResolution(int index, int* width, int* height, int* area, bool* cameraOnly) const {
  return Entry(document_, index, width, height, area, cameraOnly);
}
bool CCameraModelTable::GetPortraitResolution(int index, int* width, int* height, int* area,
                                              bool* cameraOnly) const {
  return Entry(portrait_, index, width, height, area, cameraOnly);
}
bool CCameraModelTable::GetAdditionalResolution(int index, int* width, int* height, int* area,
                                                bool* cameraOnly) const {
  return Entry(third_, index, width, height, area, cameraOnly);
}

void CCameraModelTable::Release() {
  document_.reset();
  portrait_.reset();
  third_.reset();
  devices_.reset();
}

// ---- Model profile and capabilities ----

void ApplyModelDefaults(CSysParam& settings, CCameraModelTable& table) {
  CDeviceSlot& document = settings.documentCamera;
  int xDpi = 0;
  int yDpi = 0;
  table.GetModelMaxSizeAndDpi(document.kind, document.vendorId, document.productId, &xDpi, &yDpi, &document.width,
                              &document.height);
  if (settings.xDpi < 1 || settings.yDpi < 1) {
    settings.xDpi = xDpi;
    settings.yDpi = yDpi;
  }
  table.GetDefaultPreviewSize(1, &settings.portraitCamera.width, &settings.portraitCamera.height);
  table.GetDefaultPreviewSize(2, &settings.thirdCamera.width, &settings.thirdCamera.height);
}

int SelectModelProfile(CSysParam& settings) {
  const std::string& vendor = settings.documentCamera.vendorId;
  const std::string& product = settings.documentCamera.productId;
  const auto any = [&](const char* wantVendor, std::initializer_list<const char*> products) {
    return vendor == wantVendor &&
           std::any_of(products.begin(), products.end(), [&](const char* id) { return product == id; });
  };
  int profile = -1;
  if (any("3C4D", {"1A2B", "2B1A", "1B2C", "192A", "A1F4", "A320", "A3E8", "53E8", "A4B0", "A640"}) ||
      any("1C4D", {"1A2B"}) || any("2B16", {"6689"}) || any("0C4D", {"A3E8"}) || any("05DA", {"F052"}) ||
      any("3C4D", {"C514", "C640", "C708"})) {
    profile = 0;
  } else if (any("3C4D", {"B514", "B640", "B708"})) {
    profile = 2;
  }
  settings.modelProfile = profile;
  return profile;
}

void ProbeDeviceCaps(CSysParam& settings, ICameraProbe& probe) {
  CDeviceSlot& slot = settings.documentCamera;
  slot.stillPinCapable = probe.HasStillPin(slot.vendorId, slot.productId);
  const int profile = settings.modelProfile;
  if (!((profile == 1 || profile == 2) && slot.stillPinCapable)) settings.stillCapture = false;
  const std::vector<int> formats = probe.FormatList(slot.vendorId, slot.productId);
  slot.mjpgCapable = std::find(formats.begin(), formats.end(), kFormatMJPG) != formats.end();
  if (profile == 0 || profile == 2) settings.mjpgMode = settings.mjpgMode && slot.mjpgCapable;
}

}  // namespace orvane
