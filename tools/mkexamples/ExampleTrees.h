#pragma once
// The shipped Examples library as trees built in code: each example is a folder, a file name and
// the function that builds its expression. The build writes them as documents (mkexamples) and a
// test opens every written file and compares it with the tree built here.

#include "OverSrcs/eObject.h"

#include <vector>

namespace kvtool {

struct ExampleDocument {
    const char* path; // inside the Examples folder, with its extension
    ExprPtr (*build)();
};

// The example's tree as its document holds it: written and read back once, so that it is in the
// reader's normal form (template children wrapped in rows, optional slots present).
ExprPtr BuildStoredExample(const ExampleDocument& example);

// An exported file of the library: the example at `source` saved as another type (by the
// file's extension); it opens again as that example's expression.
struct ExampleExport {
    const char* path;
    const char* source;
};
const std::vector<ExampleExport>& ExampleExports();

// Every example, in folder and file order. The template factories must be installed
// (RegisterAllTemplates) before a tree is built.
const std::vector<ExampleDocument>& ExampleDocuments();

} // namespace kvtool
