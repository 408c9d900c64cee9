// Qt's own texts (standard buttons, the print dialog, the file and folder choosers) in the
// station's interface language, from the translations Debian installs beside Qt.
#pragma once

namespace orvane::ui {

// Language 0 Simplified Chinese, 1 Traditional Chinese, 2 English. Qt's own texts follow it from
// now on; a translation that is not installed leaves them in English. GUI thread only.
void UseQtTranslations(int language);

}  // namespace orvane::ui
