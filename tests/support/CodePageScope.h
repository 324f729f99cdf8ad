#pragma once
// The active code page put back to Windows-1252 when a scope ends, whatever the test set it to
// and however the test leaves (an ASSERT returns early).

#include "plat/Font.h"

namespace kvtest {

class CodePageScope {
public:
    CodePageScope() = default;
    ~CodePageScope() { plat::SetActiveCodePage(1252); }
    CodePageScope(const CodePageScope&) = delete;
    CodePageScope& operator=(const CodePageScope&) = delete;
};

} // namespace kvtest
