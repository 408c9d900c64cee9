// The main window's message texts in the three interface languages.
#pragma once

#include <optional>
#include <string>

#include "app/sys_param.h"

namespace orvane::ui {


struct CMessageTexts {
  std::string notConnected;
  std::string folderFailure;
  std::string deviceBusy;
  std::string barcodeName;
  std::string tiffInProgress;
  std::string pdfInProgress;
  std::string mergeInProgress;
  std::string documentResolution;
  std::string portraitResolution;
  std::string oneRecordingDevice;
  std::string unplugged;
  std::string cannotDelete;  // a thumbnail's file that could not be deleted
  std::string dropPages;     // "%d": the composer's pages, before it closes without combining them
  std::string pagesDeleted;  // ... and their files go with it
  std::string pdfFailed;     // followed by the picture kept in place of its PDF
  std::string settingsUnreadable;  // followed by the settings file, left as it was
  std::string pagesLeft;     // "%d": pages still collected when the station last closed; followed by their folder
  std::string reopenPages;   // ... and whether to open them again
};

// Language 0 Simplified Chinese, 1 Traditional Chinese, 2 English; nothing for any other.
std::optional<CMessageTexts> MessageTextsFor(int language);

// The main window's caption when the branding file names no product.
inline constexpr const char* kDefaultStationCaption = "Brenvik V1.1";

// The caption of every message box the station shows: the product's name from the branding file,
// else the main window's own default caption. A box without one is titled by whatever the window
// manager makes of an empty title.
std::string StationCaption();

// Said when the desktop has no program that opens `file`, in the language's column (followed by
// the file).
std::string CannotOpenText(int language);

}  // namespace orvane::ui
