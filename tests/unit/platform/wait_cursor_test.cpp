#include <gtest/gtest.h>

#include "support/recording_view.h"

namespace tarmix {
namespace {

TEST(WaitCursor, NestedOperationsKeepItUntilTheOutermostEnds) {
    testing::RecordingView view;
    {
        WaitCursor script(view);
        { WaitCursor download(view); }
        EXPECT_EQ(view.waitCursor, std::vector<bool>{true});  // still on after the download
    }
    EXPECT_EQ(view.waitCursor, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace tarmix
