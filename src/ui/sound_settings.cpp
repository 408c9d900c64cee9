#include "ui/sound_settings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace orvane::ui {
namespace {

struct SettingsProgram {
  const char* name;
  const char* argument;
};

// pavucontrol's fourth tab lists the input devices.
constexpr SettingsProgram kPrograms[] = {
    {"pavucontrol", "--tab=4"},          {"pavucontrol-qt", "--tab=4"},   {"gnome-control-center", "sound"},
    {"systemsettings", "kcm_pulseaudio"}, {"kcmshell6", "kcm_pulseaudio"}, {"kcmshell5", "kcm_pulseaudio"},
};

}  // namespace

bool OpenSoundSettings() {
  for (const SettingsProgram& program : kPrograms) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program.name));
    if (path.isEmpty()) continue;
    return QProcess::startDetached(path, {QString::fromLatin1(program.argument)});
  }
  return false;
}

}  // namespace orvane::ui
