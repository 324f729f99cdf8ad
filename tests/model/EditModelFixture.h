// Shared set-up of the model tests that edit through the commands: the command layer's hooks and
// state fresh, the selection and model hooks installed, and an active selection record whose
// expression starts as an empty row.
#pragma once

#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <utility>

namespace kvtest {

class EditModelTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        installCommands();
        openRecord();
    }
    void TearDown() override {
        ActiveRecord = nullptr;
        ActiveList = nullptr;
        DestroySelectionRecord(m_record);
        ResetCommandState();
        ResetCommandHooks();
        ModelTest::TearDown();
    }

    // The steps of SetUp, for fixtures that do more in between.
    static void installCommands() {
        ResetCommandHooks();
        ResetCommandState();
        InstallSelectionHooks();
        InstallCommandModelHooks();
    }
    void openRecord() {
        CreateSelectionRecord(m_record, NewEmptySimpString(), 0, 0, 0, 0);
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        BatchMode = 0;
    }

    // The record over a new expression, with nothing selected.
    void useExpression(ExprPtr expression) {
        DestroySelectionRecord(m_record);
        CreateSelectionRecord(m_record, std::move(expression), 0, 0, 0, 0);
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        ClearSelectionList(m_record);
    }

    eExpr* expression() const { return m_record.m_root->getChild(0); }
    void select(const SelectionEntry& e) {
        ClearSelectionList(m_record);
        AddSelectionEntry(m_record, e);
    }
    // The one entry of the selection.
    SelectionEntry caret() const {
        EXPECT_EQ(m_record.count(), 1);
        return m_record.count() > 0 ? m_record.entry(0) : SelectionEntry{};
    }

    SelectionRecord m_record;
};

} // namespace kvtest
