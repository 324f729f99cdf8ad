// Shared set-up of the expression model tests: the recording port measures text, the model's
// font lookup is pointed at the recording port's font numbering, styles and settings start from
// their shipped values, and node destruction is counted.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eObject.h"
#include "support/RecordingPort.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {

// Font metrics at a resolution, by the recording port's documented rule.
struct ExpectedFont {
    int32_t em;
    int32_t h;
    int32_t descent;
    int32_t ascent;
};
inline ExpectedFont ExpectedMetrics(int32_t points, int32_t resolution) {
    ExpectedFont m;
    m.em = (points * resolution + 8) / 16;
    m.h = m.em + m.em / 8;
    m.descent = (m.h + 2) / 4;
    m.ascent = m.h - m.descent;
    return m;
}
// Advance width of a text by the recording port's rule.
inline int32_t ExpectedWidth(const std::string& text, int32_t points, int32_t resolution,
                             bool bold = false) {
    int64_t twelfths = 0;
    for (unsigned char c : text)
        twelfths += RecordingAdvance(c);
    const int64_t em = ExpectedMetrics(points, resolution).em;
    return static_cast<int32_t>(twelfths * em / 12 +
                                (bold ? static_cast<int64_t>(text.size()) : 0));
}

// A style record that inherits everything but the size (points) and the italic mode.
inline FSSRecord SizedStyle(int32_t points, uint8_t italicMode = kItalicOff) {
    FSSRecord style;
    InitFSSRecord(style);
    style.size = points;
    style.setItalicMode(italicMode);
    style.style[kStyleItalic] = italicMode != kItalicOff ? 1 : 0;
    return style;
}

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Edits run inside error environments; a test run alone must find the system started.
        InitErrorSystem();
        ResetModelHooks();
        ResetStyleTable();
        ResetTypesettingSettings();
        DrawState = DrawingState{};
        MagnificationNum = 72;
        MagnificationDen = 300;
        s_destroyed.clear();
        ModelHooks& hooks = TheModelHooks();
        hooks.fontIndexForDesc = &RecordingFont;
        hooks.nodeDestroyed = &NoteDestroyed;
        port = std::make_unique<RecordingPort>(16, Zone{0, 0, 4000, 2000, 0, 0});
    }
    void TearDown() override { ResetModelHooks(); }

    static int32_t RecordingFont(const char*, int32_t points, bool bold, bool italic,
                                 bool underline) {
        return RecordingFontIndex(points, (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0));
    }
    static void NoteDestroyed(eExpr* node) { s_destroyed.push_back(node); }

    // Lays the tree out afresh through the recording port.
    void Measure(eExpr* root) { MeasureExpr(root, port.get()); }

    std::unique_ptr<RecordingPort> port;
    static inline std::vector<eExpr*> s_destroyed;
};

} // namespace kvtest
