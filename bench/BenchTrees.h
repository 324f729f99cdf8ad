#pragma once
// The generated expressions the benchmarks measure, built as the program's own commands build
// them (a subscript is a scripts template of three slots with an empty superscript), so that what
// is timed is what a document of that shape shows. A test opens them as documents and checks
// their layout.

#include "OverSrcs/eObject.h"
#include "platform/SysTempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvbench {

// The program started on the headless back end as the benchmarks drive it (no splash screen, the
// single-instance socket at `socket`, the model's hooks wired to it); false, with a message on
// stderr, when it does not start.
bool StartProgram(const std::string& socket);
// A private folder for the program's settings and data while a benchmark runs, set before the
// program starts and put back when the benchmark ends.
struct ProgramFolders {
    kvtest::SysTempDir dir;
    kvtest::ScopedEnv registry{"KV_REGISTRY_DIR", dir / "config"};
    kvtest::ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
    kvtest::ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
};
// Closes every document window the benchmark left open.
void CloseDocuments();
// Puts the hooks back and ends the program StartProgram started.
void EndProgram();

// A word in the plain style, and rows of nodes.
ExprPtr Word(const std::string& text);
ExprPtr RowWith(ExprPtr node);
ExprPtr Row(std::vector<ExprPtr> items);
// base with a subscript only.
ExprPtr Subscripted(ExprPtr base, ExprPtr subscript);
// base with a superscript only.
ExprPtr Superscripted(ExprPtr base, ExprPtr superscript);

// a+a+a+... : one row of n items, words "a" and "+" in turn (what a long paste of such text
// leaves in a document).
ExprPtr WideRow(int32_t n);
// a_0 x^0 + a_1 x^1 + ... with n terms in one row.
ExprPtr Sum(int32_t n);
// 1 + 1/(1 + 1/(...)) of depth d.
ExprPtr ContinuedFraction(int32_t d);
// (a_{i,j}) of r x r in parentheses.
ExprPtr Matrix(int32_t r);

} // namespace kvbench
