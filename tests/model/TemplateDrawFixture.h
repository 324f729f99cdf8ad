#pragma once
// Tests of a template drawn on its own: the templates are registered, the tree is a one-slot row
// in `root`, and what the drawing did is read back as the port's line and shape calls.

#include "OverSrcs/eFence.h"
#include "OverSrcs/eSimpString.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {

class TemplateDrawTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterFenceTemplates();
    }

    // Draws root at the origin and returns the calls other than colours and text.
    std::vector<std::string> Strokes() {
        port->clear();
        DrawExpr(root.get(), port.get(), 0, 0, 0, 0, 0, 0);
        EXPECT_EQ(port->protocolErrors(), 0);
        std::vector<std::string> out;
        for (const std::string& c : port->calls())
            if (c.rfind("setColors", 0) != 0 && c.rfind("drawDeluxeString", 0) != 0)
                out.push_back(c);
        return out;
    }

    OwnedNode<eSimpString> root;
};

} // namespace kvtest
