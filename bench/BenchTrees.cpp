#include "bench/BenchTrees.h"

#include "App/CQVAppStartup.h"
#include "App/ModelWiring.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "plat/Testing.h"

#include <cstdio>

namespace kvbench {

namespace {

FSSRecord PlainStyle() {
    FSSRecord style;
    InitFSSRecord(style);
    return style;
}

// The subscript template's three slots (base, subscript, superscript). A scripts node of kind 0
// with fewer slots has no script group and places neither script: its second slot would be drawn
// over the base and left out of its width.
constexpr int32_t kScriptSlots = 3;

} // namespace

bool StartProgram(const std::string& socket) {
    SetSingleInstanceSocket(socket);
    if (!CQVAppStartup({"-nosplash"}).runLoop) {
        std::fprintf(stderr, "the program did not start\n");
        return false;
    }
    ResetModelHooks();
    ResetCommandHooks();
    ResetCommandState();
    InstallModelWiring();
    return true;
}

void CloseDocuments() {
    while (OpenDocumentList != nullptr) {
        delete OpenDocumentList->window();
        plat::testing::runUntilIdle();
    }
}

void EndProgram() {
    ResetCommandState();
    ResetCommandHooks();
    ResetModelHooks();
    CQVAppShutdown();
    SetSingleInstanceSocket("");
}

ExprPtr Word(const std::string& text) {
    return ExprPtr(NewWord(text, 0, PlainStyle(), 0).release());
}

ExprPtr RowWith(ExprPtr node) {
    return ExprPtr(NewSimpStringWith(std::move(node)).release());
}

ExprPtr Row(std::vector<ExprPtr> items) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(items[i]));
    return ExprPtr(row.release());
}

ExprPtr Subscripted(ExprPtr base, ExprPtr subscript) {
    return ExprPtr(
        NewSSScript(std::move(base), std::move(subscript), Row({}), kScriptSlots).release());
}

ExprPtr Superscripted(ExprPtr base, ExprPtr superscript) {
    return ExprPtr(
        NewSSScript(std::move(base), Row({}), std::move(superscript), kScriptSlots).release());
}

ExprPtr WideRow(int32_t n) {
    std::vector<ExprPtr> items;
    items.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        items.push_back(Word(i % 2 == 0 ? "a" : "+"));
    return Row(std::move(items));
}

ExprPtr Sum(int32_t n) {
    std::vector<ExprPtr> items;
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0)
            items.push_back(Word("+"));
        const std::string index = std::to_string(i);
        items.push_back(Subscripted(Word("a"), RowWith(Word(index))));
        items.push_back(Superscripted(Word("x"), RowWith(Word(index))));
    }
    return Row(std::move(items));
}

ExprPtr ContinuedFraction(int32_t d) {
    ExprPtr inner = RowWith(Word("x"));
    for (int32_t i = 0; i < d; ++i) {
        std::vector<ExprPtr> items;
        items.push_back(Word("1"));
        items.push_back(Word("+"));
        items.push_back(ExprPtr(NewFraction(RowWith(Word("1")), std::move(inner)).release()));
        inner = Row(std::move(items));
    }
    return inner;
}

ExprPtr Matrix(int32_t r) {
    OwnedNode<eSimpMatrix> m = NewSimpMatrix(r, r);
    for (int32_t i = 0; i < r; ++i)
        for (int32_t j = 0; j < r; ++j)
            m->setCell(i, j,
                       RowWith(Subscripted(Word("a"), RowWith(Word(std::to_string(i + 1) + "," +
                                                                   std::to_string(j + 1))))));
    return RowWith(
        ExprPtr(NewFence(ExprPtr(m.release()), (kDelimParen << 4) | kDelimParen).release()));
}

} // namespace kvbench
