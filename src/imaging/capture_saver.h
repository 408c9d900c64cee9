// What the saving step of the capture pipeline shares beyond `CCaptureImageHelper`: the barcode
// name rule, the barcode text file's JSON, the remembered barcode folder and the way its
// messages reach the user.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::imaging {

// A barcode's data that may stand as one file or folder name: not empty, not "." or "..", no
// control characters (NUL included), none of \ / : * ? " < > |, no trailing dot or space, and
// short enough to leave room for a picture's number, a free suffix and an extension (see
// FitsAsBaseName). So no code can name anything outside the storage folder, and every file
// named by it can be written.
bool IsValidBarcodeName(std::string_view data);

// {"Code":[{"<type>":"<data>"},...]} for the scan result's pairs (type, data), with both JSON-
// escaped. Nothing for an empty list.
std::optional<std::string> BuildCodeJson(const std::vector<std::string>& pairs);

// The sub-folder of the current storage folder that receives the pages while barcode
// sub-folders are on: empty at start, set by a separator sheet, kept across captures.
std::string RememberedBarcodeFolder();
void SetRememberedBarcodeFolder(std::string folder);

// The saving step's message boxes have no owner window; the user interface installs the
// handler that shows them. Without one they go to the diagnostics output.
enum class MessageIcon { kNone, kInformation, kError };
struct CaptureMessage {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
};
void SetCaptureMessageHandler(std::function<void(const CaptureMessage&)> handler);
void ShowCaptureMessage(const CaptureMessage& message);

}  // namespace orvane::imaging
