// The identifiers of the main window's controls and commands. Buttons, keys and menu entries all
// end in one command handler keyed by these numbers, and tests press a control by its number.
#pragma once

namespace orvane::ui {

enum class ControlId : int {
  FormatPage = 1002,
  VideoParams = 1003,
  Exit = 1005,
  Preview = 1007,
  Rotate180 = 1008,
  RotateRight = 1010,
  RotateLeft = 1011,
  ColourGroup = 1012,
  Colour = 1013,
  Grey = 1014,
  BlackAndWhite = 1015,
  Capture = 1018,
  Copy = 1023,
  CaptureToPdf = 1024,
  SwitchView = 1032,
  BrowseFolder = 1033,
  Recognise = 1034,
  TwoInOne = 1035,
  OnePdf = 1036,
  MultipageTiff = 1037,
  Settings = 1041,
  ExposureSlider = 1042,
  ExposureEdit = 1043,
  CropNone = 1045,
  CropAuto = 1046,
  CropCustom = 1047,
  Barcode = 1048,
  CameraGroup = 1051,
  NamingGroup = 1052,
  CropGroup = 1053,
  AutoExposure = 1056,
  NamingDate = 1057,
  NamingPrefix = 1058,
  RunningIndex = 1060,
  Negative = 1077,
  Focus = 1081,
  Record = 1083,
  ContinuousShoot = 1085,
  NamingFree = 1089,
  PrefixCombo = 1099,
  ExposureLabel = 1106,
  PrefixLabel = 1108,
  IndexLabel = 1109,
  Notice = 1166,
  // Menu entries and accelerators.
  ThumbnailDelete = 32771,
  ThumbnailOpen = 32773,
  CaptureKey = 32774,
  MiddleKey = 32775,
  CaptureToPdfKey = 32778,
  // A camera plugged in or pulled out, run as a command so it never cuts into a running one.
  DeviceChange = 0x219,
  // The pages the station was last closed on, offered back once the window is up: a command, so
  // it waits for one running.
  CollectedPages = 0x7F00,
};

}  // namespace orvane::ui
