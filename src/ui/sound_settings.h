// The desktop's sound settings, opened on the recording devices where the program can.
#pragma once

namespace orvane::ui {

// Starts the first sound-settings program found on the PATH: pavucontrol (or its Qt twin) on
// its input devices, GNOME's sound panel, KDE's audio page. False when none is installed or the
// one found could not be started.
bool OpenSoundSettings();

}  // namespace orvane::ui
