// The message numbers the program's windows and threads exchange, and the codes they carry.
// The numbers are fixed: companion programs and every sender and receiver agree on them.
#pragma once

#include <cstdint>

namespace orvane::platform {

using MessageId = std::uint32_t;

namespace message_ids {

// Messages of the layer itself, below the application range.
inline constexpr MessageId kTimer = 0x0001;    // wParam: the timer's identifier
inline constexpr MessageId kClose = 0x0002;    // a window is asked to close
inline constexpr MessageId kDestroy = 0x0003;  // a window's owner tears it down

// First number of the application range.
inline constexpr MessageId kUserBase = 0x400;

// Main window.
inline constexpr MessageId kMainIgnored = 0x421;            // answered with 0
inline constexpr MessageId kContinuousShoot = 0x430;        // wParam: ContinuousShootCode
inline constexpr MessageId kMultiPageClosed = 0x431;        // wParam 0: delete the composer
inline constexpr MessageId kInspectStatus = 0x432;          // to the dialog; lParam: status 0..3
inline constexpr MessageId kPrefixChanged = 0x433;          // kUserBase + 51, sent
inline constexpr MessageId kOrientationResult = 0x434;      // wParam: OrientationCode, lParam angle
inline constexpr MessageId kMergeDone = 0x435;              // wParam: the merge dialog
inline constexpr MessageId kCalibrateDpi = 0x436;           // kUserBase + 54, sent
inline constexpr MessageId kImageButtonClick = 0x450;       // wParam id, lParam: ClickKind
inline constexpr MessageId kServerQuery = 0x455;            // to "OrvaneServer"; see kServerReply
inline constexpr MessageId kSnapshotButton = 0x465;         // the camera's button: capture
inline constexpr MessageId kShareImagePath = 0x500;         // from a companion program
inline constexpr MessageId kImagePathPublished = 0x501;     // posted to the window "Image"
inline constexpr MessageId kStationClosing = 0x7E8;         // sent to the companion at close

// Display window.
inline constexpr MessageId kSecondaryFrame = 0x464;         // lParam: the frame; returns 0
inline constexpr MessageId kPictureDoubleClick = 0x466;     // posted on to the parent
inline constexpr MessageId kCreateOverlay = 0x468;          // wParam: OverlayKind
inline constexpr MessageId kDeleteOverlay = 0x469;          // wParam: OverlayKind
inline constexpr MessageId kGetPicture = 0x46A;             // wParam: PictureRequest
inline constexpr MessageId kProcessedFrame = 0x46B;         // lParam: the frame; returns 0
inline constexpr MessageId kDisplaySettings = 0x46C;        // wParam 0 margins, 1 rotation
inline constexpr MessageId kGetTrackRect = 0x46D;           // lParam: the rectangle; 0 when found

// A camera was plugged in or pulled out: posted by the hot-plug monitor to the main window,
// wParam kDeviceArrival or kDeviceRemoval, the payload a platform::DeviceChange.
inline constexpr MessageId kDeviceChange = 0x0219;
inline constexpr std::uintptr_t kDeviceArrival = 0x8000;
inline constexpr std::uintptr_t kDeviceRemoval = 0x8004;

// Skinned radio button: another button of its group became checked.
inline constexpr MessageId kRadioUnchecked = 0x464;

// Recognition window: progress and end of a run.
inline constexpr MessageId kOcrProgress = 0x4C8;            // kUserBase + 200

// The reply "OrvaneServer" gives to kServerQuery when it is running.
inline constexpr std::intptr_t kServerReply = 51;

// wParam of kContinuousShoot.
inline constexpr std::uintptr_t kContinuousCaptureNow = 0;
inline constexpr std::uintptr_t kContinuousStopped = 1;

// wParam of kOrientationResult.
inline constexpr std::uintptr_t kOrientationEnded = 0;
inline constexpr std::uintptr_t kOrientationAngle = 1;

// lParam of kImageButtonClick.
inline constexpr std::intptr_t kLeftClick = 1;
inline constexpr std::intptr_t kRightClick = 2;

// wParam of kCreateOverlay and kDeleteOverlay.
inline constexpr std::uintptr_t kOverlaySelection = 0;
inline constexpr std::uintptr_t kOverlaySubImageBox = 1;

// wParam of kDisplaySettings.
inline constexpr std::uintptr_t kSettingMargins = 0;
inline constexpr std::uintptr_t kSettingRotation = 1;

// wParam of kGetPicture.
inline constexpr std::uintptr_t kPictureCurrent = 2;
inline constexpr std::uintptr_t kPictureCropped = 4;
inline constexpr std::uintptr_t kPictureShown = 5;

// wParam of kOcrProgress: 0..100 is the progress in percent, kOcrFinished ends a run with one of
// the lParam codes below.
inline constexpr std::uintptr_t kOcrFinished = 101;
inline constexpr std::intptr_t kOcrInitFailed = 0;
inline constexpr std::intptr_t kOcrNoPicture = 1;
inline constexpr std::intptr_t kOcrTemplateMissing = 2;
inline constexpr std::intptr_t kOcrCompleted = 3;
inline constexpr std::intptr_t kOcrFailedOrStopped = 4;

}  // namespace message_ids
}  // namespace orvane::platform
