// Shared set-up of the scripts, tensor and tree-node tests: the template factories installed,
// rows of one word in a style that inherits its size (so the templates' size steps show), and the
// edit hooks recorded.
#pragma once

#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {

// A zone's width, height, axis and baseline heights, with the position left out.
inline std::string ShapeText(const Zone& z) {
    return ZoneText(Zone{0, 0, z.right - z.left, z.bottom - z.top, z.ref1, z.ref2});
}
// Where a child sits in its template: "left,top".
inline std::string AtText(const eExpr* node) {
    return std::to_string(node->m_zone.left) + "," + std::to_string(node->m_zone.top);
}

class ScriptTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterScriptTemplates();
        s_finished.clear();
        s_selected.clear();
        ModelHooks& hooks = TheModelHooks();
        hooks.finishEditAt = [](eExpr* node) { s_finished.push_back(node); };
        hooks.selectRange = [](eExpr* node, int32_t start, int32_t end, int32_t rowStart,
                               int32_t rowEnd) {
            s_selected.push_back(SelectionEntry{node, start, end, rowStart, rowEnd});
        };
        hooks.setSelection = [](const SelectionEntry& entry) { s_selected.push_back(entry); };
    }

    // A row of one word whose size follows the size steps of the template it sits in.
    static ExprPtr Row(const std::string& text, uint8_t italicMode = kItalicOff) {
        FSSRecord style;
        InitFSSRecord(style);
        style.setItalicMode(italicMode);
        style.style[kStyleItalic] = italicMode != kItalicOff ? 1 : 0;
        OwnedNode<eSimpString> row = NewSimpString(1);
        row->setChild(0, NewWord(text, 0, style, 0));
        return row;
    }

    static inline std::vector<eExpr*> s_finished;
    static inline std::vector<SelectionEntry> s_selected;
};

} // namespace kvtest
