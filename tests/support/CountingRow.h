#pragma once
// A row that counts the reads of its children, for tests that check a lookup or a drawing on a
// long row reads a few of its items rather than all of them.

#include "OverSrcs/eSimpString.h"

#include <cstdint>

namespace kvtest {

class CountingRow : public eSimpString {
    KV_NODE_CLONE(CountingRow)

public:
    eExpr* getChild(int32_t i) const override {
        ++reads;
        return eSimpString::getChild(i);
    }
    static inline int64_t reads = 0;
};

// An empty counting row with room for `n` children.
inline OwnedNode<CountingRow> NewCountingRow(int32_t n) {
    OwnedNode<CountingRow> row(NewNodeBlock<CountingRow>(static_cast<size_t>(n) * sizeof(eExpr*)));
    row->m_count = n;
    row->m_ring = row.get();
    return row;
}

} // namespace kvtest
