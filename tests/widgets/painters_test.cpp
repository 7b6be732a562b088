#include "widgets/bevel.h"
#include "widgets/gradient.h"
#include "widgets/ins_colors.h"
#include "widgets/text_layout.h"

#include <gtest/gtest.h>
#include <QFont>
#include <QImage>
#include <QPainter>

namespace {

QColor Grey(int v) { return QColor(v, v, v); }
QColor At(const QImage &img, int x, int y) { return img.pixelColor(x, y); }

TEST(Colors, FormNumbersHaveRedInTheLowByte) {
  EXPECT_EQ(ColorFromRGB(15790320), Grey(0xF0));
  EXPECT_EQ(ColorFromRGB(4227327), QColor(0xFF, 0x80, 0x40));
  EXPECT_EQ(BlendColor(Grey(0), Grey(100), 1, 3), Grey(33));
  EXPECT_EQ(BlendColor(Grey(100), Grey(0), 2, 3), Grey(33));
}

TEST(Gradient, Horizontal1MakesOneBandPerColourStep) {
  // Silver to teal over 60 rows: the red component differs most (192), so
  // 60 one-row bands, band i at From + (To - From) * i / 60.
  const QImage img = RenderGradient({10, 60}, clSilver, clTeal, gsHorizontal1);
  EXPECT_EQ(At(img, 5, 0), clSilver);
  EXPECT_EQ(At(img, 5, 30), BlendColor(clSilver, clTeal, 30, 60));
  EXPECT_EQ(At(img, 5, 59), BlendColor(clSilver, clTeal, 59, 60));

  // Few steps over many rows: wide bands. Grey E2 to 8F is 83 steps; 400
  // rows give bands of 4 rows and N = 100.
  const QImage wide = RenderGradient({4, 400}, Grey(0xE2), Grey(0x8F), gsHorizontal1);
  EXPECT_EQ(At(wide, 0, 0), Grey(0xE2));
  EXPECT_EQ(At(wide, 0, 3), Grey(0xE2));
  EXPECT_EQ(At(wide, 0, 4), BlendColor(Grey(0xE2), Grey(0x8F), 1, 100));
  EXPECT_EQ(At(wide, 0, 399), BlendColor(Grey(0xE2), Grey(0x8F), 99, 100));
}

TEST(Gradient, Horizontal2PutsFromInTheMiddleRow) {
  // The main window: silver in the middle, teal at top and bottom.
  const QImage img = RenderGradient({8, 100}, clSilver, clTeal, gsHorizontal2);
  EXPECT_EQ(At(img, 3, 50), clSilver);
  EXPECT_EQ(At(img, 3, 0), clTeal);
  EXPECT_EQ(At(img, 3, 75), BlendColor(clSilver, clTeal, 25, 50));
  EXPECT_EQ(At(img, 3, 25), BlendColor(clSilver, clTeal, 25, 50));
  EXPECT_EQ(At(img, 3, 99), BlendColor(clSilver, clTeal, 49, 50));
}

TEST(Gradient, Horizontal3PutsFromAtOneThird) {
  // 90 rows: From at row 30, 60 steps (round(0.67 * 90)).
  const QImage img = RenderGradient({4, 90}, Grey(0xE2), Grey(0x8F), gsHorizontal3);
  EXPECT_EQ(At(img, 0, 30), Grey(0xE2));
  EXPECT_EQ(At(img, 0, 0), BlendColor(Grey(0xE2), Grey(0x8F), 30, 60));
  EXPECT_EQ(At(img, 0, 89), BlendColor(Grey(0xE2), Grey(0x8F), 59, 60));
}

TEST(Gradient, VerticalStylesUseColumns) {
  const QImage v1 = RenderGradient({60, 5}, clSilver, clTeal, gsVertical1);
  EXPECT_EQ(At(v1, 0, 2), clSilver);
  EXPECT_EQ(At(v1, 30, 2), BlendColor(clSilver, clTeal, 30, 60));
  EXPECT_EQ(At(v1, 30, 0), At(v1, 30, 4));

  // The thermometer window: default greys, lightest column in the middle.
  const QImage v2 = RenderGradient({100, 6}, Grey(0xE2), Grey(0x8F), gsVertical2);
  EXPECT_EQ(At(v2, 50, 3), Grey(0xE2));
  EXPECT_EQ(At(v2, 0, 3), Grey(0x8F));
  EXPECT_EQ(At(v2, 60, 0), BlendColor(Grey(0xE2), Grey(0x8F), 10, 50));

  const QImage v3 = RenderGradient({90, 3}, Grey(0xE2), Grey(0x8F), gsVertical3);
  EXPECT_EQ(At(v3, 30, 1), Grey(0xE2));
  EXPECT_EQ(At(v3, 40, 1), BlendColor(Grey(0xE2), Grey(0x8F), 10, 60));
}

TEST(Gradient, EqualEndsFillAndOtherStylesStayBetweenTheEnds) {
  const QImage same = RenderGradient({7, 7}, clTeal, clTeal, gsHorizontal2);
  EXPECT_EQ(At(same, 0, 0), clTeal);
  EXPECT_EQ(At(same, 6, 6), clTeal);
  for (TGradientStyle s : {gsElliptic1, gsRectangle, gsDiamond1, gsTopLeft}) {
    const QImage img = RenderGradient({20, 20}, Grey(200), Grey(100), s);
    for (QPoint p : {QPoint(0, 0), QPoint(10, 10), QPoint(19, 5)}) {
      const int v = At(img, p.x(), p.y()).red();
      EXPECT_GE(v, 99);
      EXPECT_LE(v, 201);
    }
  }
}

TEST(Bevel, BorderSizeCountsTheExtraLines) {
  TInsSBevel b;
  EXPECT_EQ(b.BorderSize(), 7);
  b.SetBevelLine(blInner);
  EXPECT_EQ(b.BorderSize(), 8);
  b.SetBevelLine(blBoth);
  EXPECT_EQ(b.BorderSize(), 9);
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  b.SetWidth(-1);  // refused
  b.SetWidth(3);
  b.SurfaceGrad().SetVisible(true);
  EXPECT_EQ(changes, 2);
}

TEST(Bevel, FramesRampFromTheFirstToTheLastColour) {
  TInsSBevel b;
  b.SetStyle(bsRaised);
  b.SetWidth(2);
  b.SetSpacing(1);
  b.SetColor(clBlack);
  b.SetColorHighLightFrom(Grey(0));
  b.SetColorHighLightTo(Grey(200));
  b.SetColorShadowFrom(QColor(0, 0, 0));
  b.SetColorShadowTo(QColor(100, 0, 0));
  QImage img(20, 20, QImage::Format_RGB32);
  img.fill(clWhite);
  QRect r = img.rect();
  {
    QPainter p(&img);
    b.Paint(p, r);
  }
  // Frame i of 2 takes From + (To - From) / 2 * i.
  EXPECT_EQ(At(img, 5, 0), Grey(100));           // outer top: highlight, i = 1
  EXPECT_EQ(At(img, 0, 5), Grey(100));           // outer left
  EXPECT_EQ(At(img, 5, 1), Grey(200));           // inner top: i = 2
  EXPECT_EQ(At(img, 5, 19), QColor(50, 0, 0));   // outer bottom: shadow, i = 1
  EXPECT_EQ(At(img, 18, 5), QColor(100, 0, 0));  // inner right
  EXPECT_EQ(At(img, 10, 10), clBlack);           // filled
  EXPECT_EQ(r, QRect(3, 3, 14, 14));             // frames 2 + spacing 1

  // Lowered: shadow To -> From on the upper-left.
  b.SetStyle(bsLowered);
  img.fill(clWhite);
  r = img.rect();
  {
    QPainter p(&img);
    b.Paint(p, r);
  }
  EXPECT_EQ(At(img, 5, 0), QColor(50, 0, 0));
  EXPECT_EQ(At(img, 5, 1), QColor(0, 0, 0));
  EXPECT_EQ(At(img, 5, 19), Grey(100));
  EXPECT_EQ(At(img, 5, 18), Grey(0));
}

TEST(Bevel, OutlinesAndOffsetShrinkTheContent) {
  TInsSBevel b;
  b.SetWidth(1);
  b.SetSpacing(0);
  b.SetBevelLine(blBoth);
  b.SetPenColor(clRed);
  b.SetColor(clWhite);
  b.SetOffset({1, 2, 3, 4});
  QImage img(20, 20, QImage::Format_RGB32);
  QRect r = img.rect();
  {
    QPainter p(&img);
    b.Paint(p, r);
  }
  EXPECT_EQ(At(img, 0, 0), clRed);  // outer outline on the given rectangle
  EXPECT_EQ(At(img, 19, 10), clRed);
  EXPECT_EQ(At(img, 2, 10), clRed);  // inner outline inside the frame
  EXPECT_EQ(r, QRect(3 + 1, 3 + 2, 14 - 4, 14 - 6));
}

TEST(TextLayout, NineWayAlignmentPlacesTheBlock) {
  QImage img(200, 200, QImage::Format_RGB32);
  QFont f("Arial");
  f.setPixelSize(12);
  const QFontMetrics fm(f);
  EXPECT_EQ(SplitLines("UNO|DOS").size(), 2);
  const QSize block = MeasureTextBlock(fm, "UNO|DOSDOS");
  EXPECT_EQ(block.height(), 2 * fm.height());
  EXPECT_EQ(block.width(), fm.horizontalAdvance("DOSDOS"));

  auto inked = [&](int align) {
    img.fill(clWhite);
    QPainter p(&img);
    p.setFont(f);
    p.setPen(clBlack);
    DrawTextBlock(p, 100, 100, "MMM|MMM", align);
    p.end();
    QRect ink;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x)
        if (img.pixelColor(x, y).red() < 128) ink |= QRect(x, y, 1, 1);
    return ink;
  };
  const QRect topLeft = inked(0), centre = inked(4), bottomRight = inked(8);
  EXPECT_GE(topLeft.left(), 100);
  EXPECT_GE(topLeft.top(), 100);
  EXPECT_LE(bottomRight.right(), 100);
  EXPECT_LE(bottomRight.bottom(), 100);
  EXPECT_LT(centre.left(), 100);
  EXPECT_GT(centre.right(), 100);
  EXPECT_LT(centre.top(), 100);
  EXPECT_GT(centre.bottom(), 100);
}

TEST(TextLayout, ACaptionTooWideIsDrawnAPixelOrTwoSmallerNeverMore) {
  QFont f("Arial");
  f.setPixelSize(13);
  f.setBold(true);
  const int wide = QFontMetrics(f).horizontalAdvance("REEMPLAZAR PILAS");
  struct Case {
    int room, pixels;
  } const cases[] = {{wide, 13}, {wide + 20, 13}, {wide - 4, 12}, {wide - 12, 11}, {wide / 2, 11}};
  for (const Case &c : cases) {
    const QFont fitted = FitCaptionFont(f, "REEMPLAZAR PILAS", c.room);
    EXPECT_EQ(fitted.pixelSize(), c.pixels) << c.room;
    EXPECT_TRUE(fitted.bold());
    if (c.pixels > 11) {
      EXPECT_LE(QFontMetrics(fitted).horizontalAdvance("REEMPLAZAR PILAS"), c.room) << c.room;
    }
  }
  // Every caption given must fit, its lines' height too.
  const QFont two = FitCaptionFont(f, {"SI", "NO|NO"}, QSize(wide, 2 * QFontMetrics(f).height() - 1));
  EXPECT_EQ(two.pixelSize(), 12);
}

}  // namespace
