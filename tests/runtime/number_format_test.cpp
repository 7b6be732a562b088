#include "runtime/number_format.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

class ProgramFormats : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = FormatSettings();
    ApplyProgramFormats();
  }
  void TearDown() override { FormatSettings() = saved_; }
  TFormatSettings saved_;
};

TEST_F(ProgramFormats, ValuePictureGivesOneDecimalWithComma) {
  EXPECT_EQ(FormatFloat("##0.0", 25.0), "25,0");
  EXPECT_EQ(FormatFloat("##0.0", -50.0), "-50,0");
  EXPECT_EQ(FormatFloat("##0.0", 0.04), "0,0");
  EXPECT_EQ(FormatFloat("##0.0", -0.04), "0,0");  // no "-0,0"
  EXPECT_EQ(FormatFloat("##0.0", 359.5), "359,5");
  EXPECT_EQ(FormatFloat("##0.0", 2584.3), "2584,3");  // more digits than places
  EXPECT_EQ(FormatFloat("##0.0", 0.05), "0,1");       // rounds half away
  EXPECT_EQ(FormatFloat("##0.0", 25.25f), "25,3");
}

TEST_F(ProgramFormats, IntegerAndOptionalPictures) {
  EXPECT_EQ(FormatFloat("##0", 45), "45");
  EXPECT_EQ(FormatFloat("##0", -10), "-10");
  EXPECT_EQ(FormatFloat("##0", 0), "0");
  EXPECT_EQ(FormatFloat("##0", 27.5), "28");
  EXPECT_EQ(FormatFloat("#", 0), "");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ",5");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("0.00", 1.5), "1,50");
}

TEST_F(ProgramFormats, AxisPicturesWithThousandsAndExtraPoints) {
  EXPECT_EQ(FormatFloat("#,##0.###", 1234.5), "1.234,5");
  EXPECT_EQ(FormatFloat("#,##0.###", 1234567), "1.234.567");
  EXPECT_EQ(FormatFloat("#,##0.###", 0.12345), "0,123");
  EXPECT_EQ(FormatFloat("#,##0.###", -1000), "-1.000");
  // Only the first point is the decimal point; "##.##.##" is up to four
  // optional decimals.
  EXPECT_EQ(FormatFloat("##.##.##", 100), "100");
  EXPECT_EQ(FormatFloat("##.##.##", 2.5), "2,5");
  EXPECT_EQ(FormatFloat("##.##.##", 0), "");
}

TEST_F(ProgramFormats, SectionsAndLiterals) {
  EXPECT_EQ(FormatFloat("0.0;(0.0);cero", 1.25), "1,3");
  EXPECT_EQ(FormatFloat("0.0;(0.0);cero", -1.25), "(1,3)");
  EXPECT_EQ(FormatFloat("0.0;(0.0);cero", 0.01), "cero");
  EXPECT_EQ(FormatFloat("0.0 \"ºC\"", 20), "20,0 ºC");
  EXPECT_EQ(FormatFloat("##0.0", std::numeric_limits<double>::quiet_NaN()), "NAN");
}

TEST_F(ProgramFormats, GeneralTextHasNoTrailingZeros) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(2), "2");
  EXPECT_EQ(FloatToStr(2.03125), "2,03125");
  EXPECT_EQ(FloatToStr(-0.96875), "-0,96875");
  EXPECT_EQ(FloatToStr(7.03125), "7,03125");
  EXPECT_EQ(FloatToStr(0.1), "0,1");
  EXPECT_EQ(FloatToStr(1.0 / 3.0), "0,333333333333333");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(-2.5e-7), "-2,5E-7");
}

TEST(NumberFormatDefaults, PointBeforeActivation) {
  const TFormatSettings saved = FormatSettings();
  FormatSettings() = TFormatSettings{};
  EXPECT_EQ(FormatFloat("##0.0", 25.0), "25.0");
  EXPECT_EQ(FloatToStr(2.5), "2.5");
  FormatSettings() = saved;
}

TEST_F(ProgramFormats, IntegerConversionAcceptsOnlyWholeNumbers) {
  EXPECT_EQ(StrToInt("7"), 7);
  EXPECT_EQ(StrToInt("-12"), -12);
  EXPECT_EQ(StrToInt("  42"), 42);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char *bad : {"", "A", " ", "1 ", "1.5", "2147483648", "-", "12a", "0x"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError &e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

TEST_F(ProgramFormats, FloatConversionUsesTheDecimalComma) {
  EXPECT_DOUBLE_EQ(StrToFloat("25,3"), 25.3);
  EXPECT_DOUBLE_EQ(StrToFloat("-10,0"), -10.0);
  EXPECT_DOUBLE_EQ(StrToFloat(" 7 "), 7.0);
  EXPECT_DOUBLE_EQ(StrToFloat("1,5E3"), 1500.0);
  for (const char *bad : {"", "25.3", "abc", "1,2,3", "inf", "nan", "0x10", "1E", ","}) {
    try {
      StrToFloat(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError &e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
}

}  // namespace
