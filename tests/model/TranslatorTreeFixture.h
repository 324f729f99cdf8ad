// Small expression trees for translator tests: words, rows and templates built through the
// model's factories.
#pragma once

#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etGener.h"
#include "model/ModelFixture.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

// The floor of the translation bound, lowered for a test and put back after it.
struct TranslationFloor {
    explicit TranslationFloor(size_t bytes) { TranslationFloorBytes = bytes; }
    ~TranslationFloor() { TranslationFloorBytes = kMaxTranslationBytes; }
    TranslationFloor(const TranslationFloor&) = delete;
    TranslationFloor& operator=(const TranslationFloor&) = delete;
};

class TranslatorTreeTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterFractionTemplates();
        RegisterFenceTemplates();
        RegisterScriptTemplates();
        RegisterIntegralTemplates();
        RegisterMarkTemplates();
    }

    static ExprPtr W(const std::string& text, const char* font = nullptr) {
        FSSRecord style;
        InitFSSRecord(style);
        if (font != nullptr)
            SetFSSFontName(style, font);
        return ExprPtr(NewWord(text, 0, style, 0).release());
    }
    static ExprPtr Row(std::vector<ExprPtr> nodes) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(nodes.size()));
        for (size_t i = 0; i < nodes.size(); ++i)
            row->setChild(static_cast<int32_t>(i), std::move(nodes[i]));
        return ExprPtr(row.release());
    }
    static ExprPtr Row(ExprPtr a) {
        std::vector<ExprPtr> v;
        v.push_back(std::move(a));
        return Row(std::move(v));
    }
    // A template of the family and kind with rows in its slots (null: an empty row).
    static ExprPtr T(int32_t family, int32_t kind, std::vector<ExprPtr> slots) {
        ExprPtr node =
            NewTemplateFromCode(MakeTemplateCode(family, kind, static_cast<int32_t>(slots.size())));
        for (size_t i = 0; i < slots.size(); ++i) {
            ExprPtr slot = slots[i] ? std::move(slots[i]) : Row(std::vector<ExprPtr>{});
            if (!slot->isString())
                slot = Row(std::move(slot));
            node->setChild(static_cast<int32_t>(i), std::move(slot));
        }
        return node;
    }
    template <class... Args> static std::vector<ExprPtr> Slots(Args&&... args) {
        std::vector<ExprPtr> v;
        (v.push_back(std::forward<Args>(args)), ...);
        return v;
    }
};

} // namespace kvtest
