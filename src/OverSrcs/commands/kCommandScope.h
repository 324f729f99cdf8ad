#pragma once
// Commands run one at a time. A command holds nodes, rows and selection lists of the documents
// while it runs, and a dialog or alert it opens lets the program's loop go on: nothing that loop
// delivers may start another command (which could free what the first still holds) until the
// first has ended. A command that a command's own code starts, outside such a loop, is part of it.

#include <cstdint>

// Marks a modal run (a dialog, an alert, a chooser) for as long as it is open.
class ModalRunScope {
public:
    ModalRunScope();
    ~ModalRunScope();
    ModalRunScope(const ModalRunScope&) = delete;
    ModalRunScope& operator=(const ModalRunScope&) = delete;
};

// Opened at each entry of a command (a code, a menu item, a palette button, a macro). Refused
// when another command is running and a modal run opened since it started: the beep has sounded
// and the caller does nothing.
class CommandScope {
public:
    CommandScope();
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;
    bool refused() const { return m_refused; }

private:
    bool m_refused = false;
};

// How many commands are running (nested ones included); how many were refused so far.
int32_t RunningCommandDepth();
int32_t RefusedCommandCount();

// Counts every change to the shape of any tree: a node freed, a child put in or taken out. A
// command compares it across a dialog it runs: when it moved, the nodes the command holds may be
// gone, and the command stops there.
uint64_t TreeEditCount();
void NoteTreeEdit();
