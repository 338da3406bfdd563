// Linked into every test executable: once the tests have run, no palette object, global memory
// block or bitmap may be left alive. ctest runs each test on its own, so a leak is pinned to the
// test that made it.
#include <gtest/gtest.h>

#include "framework/graphics/bitmap.h"
#include "framework/graphics/clipboard.h"
#include "framework/graphics/palette.h"

namespace {

class LeakCheck : public ::testing::Environment {
 public:
  void TearDown() override {
    // What the clipboard holds is owned, not leaked; it would be freed at exit.
    Clipboard().Clear();
    EXPECT_EQ(GdiLiveObjectCount(), 0) << "palette objects left alive";
    EXPECT_EQ(GlobalLiveBlockCount(), 0) << "global memory blocks left alive";
    EXPECT_EQ(TBitmap::LiveCount(), 0) << "bitmaps left alive";
  }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new LeakCheck);

}  // namespace
