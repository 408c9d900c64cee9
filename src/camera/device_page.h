// The camera's own controls in a modal dialog: a slider per integer control, a box per boolean
// (the automatic switches), a list per menu. Changes go to the camera at once.
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

// Built apart from showing it, so it can be driven without a modal loop. With `offerFormat` the
// dialog has the button that ends it with kFormatPageWanted.
std::unique_ptr<QDialog> BuildDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device,
                                                   const std::string& title, bool offerFormat = false);
// The dialog's result.
int ShowDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device, const std::string& title,
                             bool offerFormat = false);

}  // namespace orvane
