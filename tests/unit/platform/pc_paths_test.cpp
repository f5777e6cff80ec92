#include "platform/pc_paths.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

TEST(PcPaths, AbsoluteNamesStayAndOthersJoinTheirFolder) {
    EXPECT_EQ(CompleteName("C:/x/app.rom", "/work/"), "C:/x/app.rom");
    EXPECT_EQ(CompleteName("/tmp/app.rom", "/work/"), "/tmp/app.rom");
    EXPECT_EQ(CompleteName("app.rom", "/work/"), "/work/app.rom");
    EXPECT_EQ(CompleteName("app.rom", "/work"), "/work/app.rom");
    EXPECT_EQ(CompleteName("app.rom", ""), "app.rom");
}

}  // namespace
}  // namespace tarmix
