#include "runtime/form_font.h"

#include <gtest/gtest.h>
#include <QFontInfo>

namespace {

TEST(FormFont, PointsOfTheFormsBecomeThePixelsOfA96DpiScreen) {
  // As Windows turned them, -MulDiv(points, 96, 72).
  const int points[] = {6, 7, 8, 9, 10, 12, 14};
  const int pixels[] = {8, 9, 11, 12, 13, 16, 19};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(FormPixels(points[i]), pixels[i]) << points[i];
    const QFont f = FormFont("Arial", points[i], true, true);
    EXPECT_EQ(f.pixelSize(), pixels[i]) << points[i];
    EXPECT_EQ(QFontInfo(f).pixelSize(), pixels[i]) << points[i];
  }
  const QFont f = FormFont("MS Sans Serif", 8);
  EXPECT_EQ(f.family(), "MS Sans Serif");
  EXPECT_FALSE(f.bold());
  EXPECT_FALSE(f.italic());
  EXPECT_TRUE(FormFont("Arial", 8, true, true).italic());
}

}  // namespace
