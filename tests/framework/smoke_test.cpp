#include <gtest/gtest.h>

#include "framework/system/resstrings.h"

TEST(StringTable, HoldsThePictureUnitTexts) {
  EXPECT_EQ(LoadResString(SChangeJPGSize), "Cannot change the size of a JPEG image");
  EXPECT_EQ(FormatResString(SJPEGError, 42), "JPEG error #42");
  EXPECT_EQ(LoadResString(SJPEGImageFile), "JPEG Image File");
}
