#include "ui/notice_texts.h"

#include "ui/message_texts.h"

namespace orvane::ui {
namespace {

struct NoticeText {
  const char* key;  // as the lower layer writes it
  const char* texts[3];
};

constexpr NoticeText kNotices[] = {
    {"Time Out", {"拍摄超时", "拍攝逾時", "Time Out"}},
    {"创建视频预览窗口失败，错误码：",
     {"创建视频预览窗口失败，错误码：", "建立視訊預覽視窗失敗，錯誤碼：",
      "The video preview window could not be created, error code: "}},
};

}  // namespace

std::string NoticeInLanguage(const std::string& text, int language) {
  for (const NoticeText& notice : kNotices) {
    const std::string_view key = notice.key;
    if (text.starts_with(key)) return notice.texts[TextColumn(language)] + text.substr(key.size());
  }
  return text;
}

}  // namespace orvane::ui
