#include "OverSrcs/commands/kCommandScope.h"

#include "OverPc/PUTIL.h"

#include <vector>

namespace {

int32_t s_modalDepth = 0;
// The modal depth at which each running command started, the innermost last.
std::vector<int32_t> s_running;
int32_t s_refused = 0;
uint64_t s_treeEdits = 0;

} // namespace

ModalRunScope::ModalRunScope() {
    ++s_modalDepth;
}

ModalRunScope::~ModalRunScope() {
    --s_modalDepth;
}

CommandScope::CommandScope() {
    if (!s_running.empty() && s_modalDepth > s_running.back()) {
        m_refused = true;
        ++s_refused;
        Beep();
        return;
    }
    s_running.push_back(s_modalDepth);
}

CommandScope::~CommandScope() {
    if (!m_refused && !s_running.empty())
        s_running.pop_back();
}

int32_t RunningCommandDepth() {
    return static_cast<int32_t>(s_running.size());
}

int32_t RefusedCommandCount() {
    return s_refused;
}

uint64_t TreeEditCount() {
    return s_treeEdits;
}

void NoteTreeEdit() {
    ++s_treeEdits;
}
