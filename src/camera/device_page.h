// The camera's own controls in a modal dialog: a slider per integer control, a box per boolean
// (the automatic switches), a list per menu. Changes go to the camera at once.
#pragma once

#include <memory>
#include <string>

#include "platform/v4l2_device.h"

class QDialog;
class QWidget;

namespace orvane {

// Built apart from showing it, so it can be driven without a modal loop.
std::unique_ptr<QDialog> BuildDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device,
                                                   const std::string& title);
void ShowDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device, const std::string& title);

}  // namespace orvane
