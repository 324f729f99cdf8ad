// Writes the Examples library: every example tree of ExampleTrees as a document file under the
// folder given on the command line ("<folder>/01_Algebra/01_Quadratic_formula.pvx", ...).
//
//   mkexamples <folder>

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/oStreams.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkexamples <folder>\n");
        return 2;
    }
    InitErrorSystem();
    RegisterAllTemplates();
    const std::filesystem::path folder(argv[1]);
    for (const kvtool::ExampleDocument& example : kvtool::ExampleDocuments()) {
        const std::filesystem::path path = folder / example.path;
        std::filesystem::create_directories(path.parent_path());
        const int code = CatchFail([&] {
            ExprPtr tree = kvtool::BuildStoredExample(example);
            oOStreamPtr stream(NewOFileStream(path.string().c_str(), false));
            WriteDocumentLines(*stream, tree.get(), DocumentBackground{}, nullptr, nullptr);
            CloseStream(stream);
        });
        if (code != 0) {
            std::fprintf(stderr, "mkexamples: %s: error %d\n", path.string().c_str(), code);
            return 1;
        }
    }
    return 0;
}
