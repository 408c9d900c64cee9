#include <gtest/gtest.h>

#include "ui/label.h"

namespace orvane::ui {
namespace {

TEST(LabelTest, PlacesItsTextByItsAlignment) {
  const struct {
    LabelAlignment alignment;
    bool centreVertically;
    const char* text;
    int flags;
  } cases[] = {
      {LabelAlignment::kLeft, false, "a", Qt::AlignLeft | Qt::TextWordWrap},
      {LabelAlignment::kCentre, false, "a", Qt::AlignHCenter | Qt::TextWordWrap},
      {LabelAlignment::kRight, false, "a\tb", Qt::AlignRight | Qt::TextWordWrap | Qt::TextExpandTabs},
      {LabelAlignment::kLeftNoWrap, false, "a", Qt::AlignLeft},
      {LabelAlignment::kLeft, true, "one line", Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine},
      // Several lines are centred across only.
      {LabelAlignment::kLeft, true, "two\r\nlines", Qt::AlignHCenter},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CLabel::DrawFlags(c.alignment, c.centreVertically, QString::fromUtf8(c.text)), c.flags) << c.text;
  }
}

}  // namespace
}  // namespace orvane::ui
