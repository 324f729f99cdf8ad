#pragma once
// Drawing the model through a native port into a bitmap: the pinned fonts, a fresh platform,
// the port device hooks and a font manager at 21 units, with the base style at 24 points.
// `Base` is the model fixture the test builds on.

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Portdc.h"
#include "OverSrcs/eModelHooks.h"
#include "plat/Testing.h"
#include "support/FontPin.h"

#include <gtest/gtest.h>

namespace kvtest {

template <class Base> class ImageTest : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        ASSERT_EQ(PinnedFontProblems(), "");
        plat::testing::reset();
        InstallPortDeviceHooks();
        NewFontManager(21);
        InitFontTable();
        TheModelHooks().fontIndexForDesc = &FontIndexForFace;
        StyleTable[0].size = 24;
    }
    void TearDown() override {
        DeleteFontManager();
        Base::TearDown();
    }
};

} // namespace kvtest
