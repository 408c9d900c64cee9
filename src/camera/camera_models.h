// Camera discovery: which document, portrait and third cameras are attached, which model each
// is, and what follows from the model (default size and DPI, the resolutions offered, whether
// still capture and MJPG may be used). Thread-bound: used on the UI thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "camera/video_source.h"

namespace orvane {

class CSysParam;
namespace platform {
class IV4l2Backend;
}

// What discovery asks of the attached USB cameras. Ids are four hexadecimal digits.
class ICameraProbe {
 public:
  virtual ~ICameraProbe() = default;
  // Device paths of the attached video-input devices ("...vid_3c4d&pid_1a2b...").
  virtual std::vector<std::string> DevicePaths() = 0;
  // False when the camera is absent or does not have the property.
  virtual bool GetProcAmpRange(const std::string& vendor, const std::string& product, long property,
                               PropertyRange* range) = 0;
  // The sizes the camera offers in YUY2 or, with `mjpg`, in MJPG.
  virtual std::vector<std::pair<int, int>> DeviceSizes(const std::string& vendor, const std::string& product,
                                                       bool mjpg) = 0;
  virtual bool HasStillPin(const std::string& vendor, const std::string& product) = 0;
  // Format modes (kFormatYUY2, kFormatMJPG) the camera offers.
  virtual std::vector<int> FormatList(const std::string& vendor, const std::string& product) = 0;
};

// The probe over the USB source: every question on a temporary source, as the sources answer.
class UsbCameraProbe : public ICameraProbe {
 public:
  explicit UsbCameraProbe(std::shared_ptr<platform::IV4l2Backend> backend = nullptr);
  std::vector<std::string> DevicePaths() override;
  bool GetProcAmpRange(const std::string& vendor, const std::string& product, long property,
                       PropertyRange* range) override;
  std::vector<std::pair<int, int>> DeviceSizes(const std::string& vendor, const std::string& product,
                                               bool mjpg) override;
  bool HasStillPin(const std::string& vendor, const std::string& product) override;
  std::vector<int> FormatList(const std::string& vendor, const std::string& product) override;

 private:
  std::shared_ptr<platform::IV4l2Backend> backend_;
};

// Model codes.
inline constexpr int kUnknownModel = -1;
inline constexpr int kDeviceLibraryModel = 100;

// Results of GetDeviceDllInfo.
inline constexpr int kDllInfoDone = 0;
inline constexpr int kDllInfoNotLoadable = 3;
inline constexpr int kDllInfoScanMissing = 4;

class CCameraModelTable {
 public:
  struct SizeEntry {
    int width = 0;
    int height = 0;
    bool cameraOnly = false;  // reported by the camera, not added or confirmed by the model table
    int area = 0;
  };

  // The probe defaults to UsbCameraProbe over the program's video backend.
  explicit CCameraModelTable(std::shared_ptr<ICameraProbe> probe = nullptr);
  ~CCameraModelTable() { Release(); }
  CCameraModelTable(const CCameraModelTable&) = delete;
  CCameraModelTable& operator=(const CCameraModelTable&) = delete;

  // The document camera: the first known id pair attached, else a device-library camera (kind
  // 100), else kind -1. Always 0.
  int IdentifyCamera(std::string* productId, std::string* deviceText, std::string* vendorId, int* kind);
  int IdentifySecondCamera(int* kind, std::string* vendorId, std::string* productId);
  int IdentifyThirdCamera(int* kind, std::string* vendorId, std::string* productId);
  int QueryModelCode(const std::string& vendorId, const std::string& productId);
  int QueryPortraitModelCode(const std::string& vendorId, const std::string& productId);
  // Asks the device library for a camera it serves: kDllInfoDone with the address (or nothing
  // found), kDllInfoNotLoadable, kDllInfoScanMissing.
  int GetDeviceDllInfo(std::string* deviceText);

  // Writes only for the known models; the rest is left as it was.
  void GetModelMaxSizeAndDpi(int kind, const std::string& vendorId, const std::string& productId, int* xDpi,
                             int* yDpi, int* width, int* height);
  void GetDefaultPreviewSize(int mode, int* width, int* height);

  void BuildResolutionList(const std::string& productId, int kind, const std::string& vendorId, bool mjpg);
  void BuildPortraitResolutionList(const std::string& productId, int kind, const std::string& vendorId, bool mjpg);
  void BuildAdditionalResolutionList(const std::string& productId, int kind, const std::string& vendorId, bool mjpg);

  int GetResolutionCount() const { return Count(document_); }
  int GetPortraitResolutionCount() const { return Count(portrait_); }
  int GetAdditionalResolutionCount() const { return Count(third_); }
  // False with 0, 0, 0 and flag true for a bad index.
  bool GetResolution(int index, int* width, int* height, int* area, bool* cameraOnly) const;
  bool GetPortraitResolution(int index, int* width, int* height, int* area, bool* cameraOnly) const;
  bool GetAdditionalResolution(int index, int* width, int* height, int* area, bool* cameraOnly) const;

  // The attached-device list holds this pair (exact texts).
  bool FindDevice(const std::string& vendorId, const std::string& productId) const;
  void Release();

 private:
  using SizeList = std::vector<SizeEntry>;
  void RefreshDevices();
  void BuildList(std::unique_ptr<SizeList>& list, const std::string& vendorId, const std::string& productId,
                 bool mjpg, const std::vector<std::pair<int, int>>& modelSizes, bool sort);
  static int Count(const std::unique_ptr<SizeList>& list) { return list ? static_cast<int>(list->size()) : 0; }
  static bool Entry(const std::unique_ptr<SizeList>& list, int index, int* width, int* height, int* area,
                    bool* cameraOnly);

  std::shared_ptr<ICameraProbe> probe_;
  std::unique_ptr<SizeList> document_;
  std::unique_ptr<SizeList> portrait_;
  std::unique_ptr<SizeList> third_;
  std::unique_ptr<std::vector<std::pair<std::string, std::string>>> devices_;
};

// The ids that follow "vid_" and "pid_" in a device path, upper-cased; empty when missing.
std::pair<std::string, std::string> IdsFromDevicePath(const std::string& devicePath);

// What start-up takes from the identified models: the document slot's size becomes the model's
// default size, and the model's DPI (0 without an entry) replaces the stored one only when that
// is below 1; the portrait and third slots start at the default preview sizes of modes 1 and 2.
void ApplyModelDefaults(CSysParam& settings, CCameraModelTable& table);

// The model profile of the document camera's ids (0, 2 or -1), stored in settings.modelProfile.
int SelectModelProfile(CSysParam& settings);

// The document camera's still-pin and MJPG capabilities, and still capture and MJPG mode
// switched off where the profile or the camera does not allow them.
void ProbeDeviceCaps(CSysParam& settings, ICameraProbe& probe);

}  // namespace orvane
