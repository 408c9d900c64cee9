// The camera's own controls in a modal dialog: a slider per integer control, a box per boolean
// (the automatic switches), a list per menu. Changes go to the camera at once. The controls the
// station knows are named in the interface language; any other keeps the driver's name.
#pragma once

#include <memory>
#include <string>

#include "platform/v4l2_device.h"

class QDialog;
class QWidget;

namespace orvane {

// The dialog's result when its "Capture format..." button closed it: the format page is shown
// after it, once nothing holds the device any more (a new format reopens it).
inline constexpr int kFormatPageWanted = 2;

// Built apart from showing it, so it can be driven without a modal loop. Each control's widget is
// named by its V4L2 id in decimal. With `offerFormat` the dialog has the button, named "format",
// that ends it with kFormatPageWanted. Texts in `language`: 0 Simplified Chinese, 1 Traditional
// Chinese, 2 English.
std::unique_ptr<QDialog> BuildDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device,
                                                   const std::string& title, int language, bool offerFormat = false);
// The dialog's result.
int ShowDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device, const std::string& title, int language,
                             bool offerFormat = false);

}  // namespace orvane
