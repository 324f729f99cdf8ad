#include "OverSrcs/commands/kInsert.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eWord.h"

#include <string>

namespace {

// Codes of the template family; the low byte is a kind for the families that carry one.
constexpr int32_t kInsertFraction = 0x4000; // 0x4001-0x4007: fraction style in the low nibble
constexpr int32_t kInsertSquareRoot = 0x4010;
constexpr int32_t kInsertRootWithIndex = 0x4011;
constexpr int32_t kInsertOverstrike = 0x4020;
constexpr int32_t kInsertLongDivision = 0x4030;
constexpr int32_t kInsertBox = 0x4040;
constexpr int32_t kInsertFence = 0x4100; // 0x41kk
constexpr int32_t kInsertSuperscript = 0x4201;
constexpr int32_t kInsertSubscript = 0x4202;
constexpr int32_t kInsertBothScripts = 0x4203;
constexpr int32_t kInsertLowerLimit = 0x4204;
constexpr int32_t kInsertUpperLimit = 0x4205;
constexpr int32_t kInsertPrescriptFirst = 0x4206; // 0x4206-0x4209
constexpr int32_t kInsertPrescriptLast = 0x4209;
constexpr int32_t kInsertBothLimits = 0x420A;
constexpr int32_t kInsertTensor = 0x4210;
constexpr int32_t kInsertTreeNode = 0x4211;
constexpr int32_t kInsertIntegral = 0x4300;      // 0x43kk: integrand only
constexpr int32_t kInsertMark = 0x4400;          // 0x44kk
constexpr int32_t kInsertWideFence = 0x4500;     // 0x45kk
constexpr int32_t kInsertBigOperator = 0x4600;   // 0x4601-0x4604 limits, 0x4611-0x4614 scripts
constexpr int32_t kInsertLimitIntegral = 0x4700; // 0x47kk: integrand and both limits

// Frame index 3 of the thickness table: one point.
constexpr int32_t kInsertedBoxKind = 3;
// Limits under and over the base, no scripts after it.
constexpr int32_t kScriptKindLimits = kScriptLimits | kScriptNoScripts;
// A big operator with its operand and limits, or with its operand and scripts.
constexpr int32_t kScriptKindOperatorLimits = kScriptOperator | kScriptLimits | kScriptNoScripts;
constexpr int32_t kScriptKindOperatorScripts = kScriptOperator;
// Bytes of the big operators in the Symbol font: sum, product, union, intersection.
constexpr unsigned char kBigOperatorBytes[] = {0x53, 0x50, 0xC8, 0xC7};
constexpr char kSymbolFace[] = "Symbol";
// Delimiter types and embellishments go up to these.
constexpr int32_t kLastDelimiterType = kDelimDoubleBar;
constexpr int32_t kLastMark = kMarkDoubleBar;
// Kind bits of a mark that mean something; the rest must be clear.
constexpr int32_t kMarkKnownBits =
    kMarkTypeMask | kMarkNormalPlacement | kMarkBelow | kMarkFixedWidth;

uint8_t typingColour() {
    const int32_t colour = ActiveRecord != nullptr ? ActiveRecord->m_typingColour : -1;
    return colour >= 0 ? static_cast<uint8_t>(colour) : 0;
}

// A slot the user is to fill: "?" in the selection's style and the typing colour.
ExprPtr placeholder() {
    return NewPlaceholder(typingColour(), true);
}

// A slot left empty on purpose (an optional part).
ExprPtr emptyRow() {
    return NewSimpString(0);
}

// Every slot a factory left without a row gets an empty one, so that the caret can enter it.
ExprPtr withRows(ExprPtr node) {
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (node->getChild(i) == nullptr)
            node->setChild(i, emptyRow());
    return node;
}

template <class T> ExprPtr finish(OwnedNode<T> node) {
    return withRows(ExprPtr(std::move(node)));
}

bool isFractionStyle(int32_t kind) {
    return kind == kFractionVertical || kind == kFractionSlanted || kind == kFractionHorizontal ||
           kind == kFractionNearlyVertical || kind == kFractionNearlyFlat;
}

bool isFenceKind(int32_t kk) {
    return ((kk >> 4) & 15) <= kLastDelimiterType && (kk & 15) <= kLastDelimiterType;
}

// The evaluate-at bar stands alone: it cannot be repeated like the signs.
bool isIntegralKind(int32_t kk) {
    return (kk & kIntegralEvaluateAt) == 0 || (kk & kIntegralCountMask) == 0;
}

bool isMarkKind(int32_t kk) {
    const int32_t mark = kk & kMarkTypeMask;
    return mark >= 1 && mark <= kLastMark && (kk & ~kMarkKnownBits) == 0;
}

// The script template with these rows in slots 0, 1, 2 and the given kind.
ExprPtr scripts(ExprPtr base, ExprPtr first, ExprPtr second, int32_t kind) {
    OwnedNode<eSSScript> node =
        NewSSScript(std::move(base), std::move(first), std::move(second), 3);
    node->m_kind = kind;
    return finish(std::move(node));
}

// A big operator of the Symbol font before its operand, with limits or scripts (slots: operand,
// operator, then lower and upper or sub and sup).
ExprPtr bigOperator(int32_t index, int32_t kind) {
    FSSRecord style;
    InitFSSRecord(style);
    SetFSSFontName(style, kSymbolFace);
    const char byte = static_cast<char>(kBigOperatorBytes[index]);
    OwnedNode<eSSScript> node = NewSSScript(nullptr, nullptr, nullptr, 4);
    node->m_kind = kind;
    node->setChild(0, placeholder());
    node->setChild(1, NewSimpStringWith(NewWord(std::string(1, byte), 0, style, typingColour())));
    node->setChild(2, placeholder());
    node->setChild(3, placeholder());
    return finish(std::move(node));
}

} // namespace

ExprPtr NewTemplateForCommand(int32_t code) {
    const int32_t c = code & 0x7FFF;
    const int32_t family = c & 0xFF00;
    const int32_t kk = c & 0xFF;
    switch (c) {
    case kInsertSquareRoot:
        return finish(NewRoot(placeholder(), emptyRow()));
    case kInsertRootWithIndex:
        return finish(NewRoot(placeholder(), placeholder()));
    case kInsertOverstrike:
        return finish(NewOverstrike(placeholder(), placeholder()));
    case kInsertLongDivision:
        return finish(NewLongDivision(placeholder(), placeholder(), placeholder(), emptyRow()));
    case kInsertBox: {
        OwnedNode<eBox> box = NewBox(placeholder());
        box->m_kind = kInsertedBoxKind;
        return finish(std::move(box));
    }
    case kInsertSuperscript:
        return finish(NewSSScript(placeholder(), emptyRow(), placeholder(), 3));
    case kInsertSubscript:
        return finish(NewSSScript(placeholder(), placeholder(), emptyRow(), 3));
    case kInsertBothScripts:
        return finish(NewSSScript(placeholder(), placeholder(), placeholder(), 3));
    case kInsertLowerLimit:
        return scripts(placeholder(), placeholder(), emptyRow(), kScriptKindLimits);
    case kInsertUpperLimit:
        return scripts(placeholder(), emptyRow(), placeholder(), kScriptKindLimits);
    case kInsertBothLimits:
        return scripts(placeholder(), placeholder(), placeholder(), kScriptKindLimits);
    case kInsertTensor: {
        OwnedNode<eTensor> tensor = NewTensor(placeholder(), 2);
        tensor->setChild(1, placeholder());
        return finish(std::move(tensor));
    }
    case kInsertTreeNode: {
        OwnedNode<eTreeNode> tree = NewTreeNode(placeholder(), 3);
        tree->setChild(1, placeholder());
        tree->setChild(2, placeholder());
        return finish(std::move(tree));
    }
    default:
        break;
    }
    if (c >= kInsertPrescriptFirst && c <= kInsertPrescriptLast)
        return finish(NewPrescriptTemplate(c));
    if (family == kInsertFraction && isFractionStyle(kk)) {
        OwnedNode<eFraction> fraction = NewFraction(placeholder(), placeholder());
        fraction->m_kind = kk;
        return finish(std::move(fraction));
    }
    if ((family == kInsertFence || family == kInsertWideFence) && isFenceKind(kk))
        return finish(
            NewFence(placeholder(), family == kInsertWideFence ? kFenceHorizontal + kk : kk));
    if ((family == kInsertIntegral || family == kInsertLimitIntegral) && isIntegralKind(kk)) {
        const bool limits = family == kInsertLimitIntegral;
        OwnedNode<eIntegral> integral =
            NewIntegral(3, placeholder(), limits ? placeholder() : emptyRow(),
                        limits ? placeholder() : emptyRow());
        integral->m_kind = kk;
        return finish(std::move(integral));
    }
    if (family == kInsertMark && isMarkKind(kk))
        return finish(NewMark(placeholder(), kk));
    if (family == kInsertBigOperator) {
        if (kk >= 0x01 && kk <= 0x04)
            return bigOperator(kk - 0x01, kScriptKindOperatorLimits);
        if (kk >= 0x11 && kk <= 0x14)
            return bigOperator(kk - 0x11, kScriptKindOperatorScripts);
    }
    return ExprPtr();
}

void RegisterAllTemplates() {
    RegisterFractionTemplates();
    RegisterFenceTemplates();
    RegisterScriptTemplates();
}
