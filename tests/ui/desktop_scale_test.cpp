// The desktop's scale as the settings a desktop leaves: the first one set wins, fractions round
// down, and nonsense counts as not set rather than shrinking or blowing up the window.
#include "framework/window/desktop_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

struct ScaleCase {
  std::optional<double> xftDpi;
  const char* gdkScale;
  const char* qtScaleFactor;
  int factor;
};

TEST(DesktopScale, FirstSettingThatIsSetGivesAWholeFactor) {
  const ScaleCase cases[] = {
      {std::nullopt, nullptr, nullptr, 1},
      {144, "3", nullptr, 1},  // 150 %: rounded down; Xft.dpi comes before GDK_SCALE
      {192, nullptr, nullptr, 2},
      {72, "2", nullptr, 1},  // below 96 dpi never shrinks
      {std::nullopt, "2", "3", 2},
      {std::nullopt, "", "2.5", 2},
      {std::nullopt, "2x", "1.75", 1},       // not a number: the next one counts
      {0.0, "-2", "3", 3},                   // neither is a positive number
      {std::nullopt, nullptr, "1e308", 64},  // far beyond any screen, yet bounded
      {NAN, "inf", "nan", 1},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.xftDpi ? *c.xftDpi : -1.0) << " " << (c.gdkScale ? c.gdkScale : "-") << " "
                 << (c.qtScaleFactor ? c.qtScaleFactor : "-"));
    EXPECT_EQ(DesktopScaleFactor(c.xftDpi, c.gdkScale, c.qtScaleFactor), c.factor);
  }
}

}  // namespace
