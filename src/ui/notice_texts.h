// The lower layers' messages for the user (a still that timed out, a display that cannot start)
// in the interface language. The libraries below know no language: they write the text the
// station has always shown, and that text is the key of its translations.
#pragma once

#include <string>

namespace orvane::ui {

// `text` in language 0 Simplified Chinese, 1 Traditional Chinese or 2 English; a text that starts
// with a known one keeps what follows it (an error code). Any other text is shown as it is.
std::string NoticeInLanguage(const std::string& text, int language);

}  // namespace orvane::ui
