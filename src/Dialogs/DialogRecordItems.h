// Dialog items read into the records that the commands hand to their dialogs, and the dialogs
// opened with such a record as their argument.
#pragma once

#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/DialogItems.h"

#include <cstdint>

// An index of -1 (no button of the group on) keeps the value the record had.
inline void ReadRadio(int first, int last, int32_t& field) {
    const int index = GetRadioIndex(first, last);
    if (index >= 0)
        field = index;
}

// A check box as the record's byte: 1 checked, 0 not.
inline uint8_t CheckByte(int id) {
    return IsChecked(id) ? 1 : 0;
}

// Runs the dialog with the record as its argument; LaunchDialog's answer.
template <class Record> int32_t LaunchWithRecord(int id, plat::DLGPROC proc, Record* record) {
    return LaunchDialog(id, proc, reinterpret_cast<std::uintptr_t>(record));
}
