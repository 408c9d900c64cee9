// The folders the program keeps its files in, as the Linux desktop names them.
#pragma once

#include <filesystem>

namespace orvane::platform {

// $HOME, else the password database's home folder.
std::filesystem::path HomeFolder();
// The roaming application-data folder: $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path RoamingAppDataFolder();
// The common application-data folder: $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path CommonAppDataFolder();
// $TMPDIR, else /tmp.
std::filesystem::path TempFolder();
// The folder of the running executable; ORVANE_PROGRAM_DIR overrides it.
std::filesystem::path ProgramFolder();
// The user's pictures folder: $XDG_PICTURES_DIR, else the one user-dirs.dirs names, else ~/Pictures.
std::filesystem::path PicturesFolder();

}  // namespace orvane::platform
