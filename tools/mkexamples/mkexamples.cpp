// Writes the Examples library: every example tree of ExampleTrees as a document file under the
// folder given on the command line ("<folder>/01_Algebra/01_Quadratic_formula.pvx", ...), and the
// exported files of the "06_Exports" folder (EPS and PNG through the program's save types,
// MathML through the shipped MathML translator found in the translator folder).
//
//   mkexamples <folder> <translator folder>

#include "App/CQVAppStartup.h"
#include "App/ModelWiring.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/Exports.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/etTranslator.h"
#include "OverSrcs/oStreams.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

const kvtool::ExampleDocument* exampleAt(const char* path) {
    for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
        if (std::strcmp(e.path, path) == 0)
            return &e;
    return nullptr;
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    oOStreamPtr stream(NewOFileStream(path.string().c_str(), false));
    stream->write(text.data(), static_cast<uint32_t>(text.size()));
    CloseStream(stream);
}

// The program started without a window of its own, in a private home, so that pictures are
// laid out with the program's fonts and resources as in the running editor.
class HeadlessProgram {
public:
    HeadlessProgram() {
        char pattern[] = "/tmp/mkexamples-XXXXXX";
        if (const char* made = mkdtemp(pattern))
            m_home = made;
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "KV_REGISTRY_DIR"})
            setenv(name, m_home.c_str(), 1);
        m_started = CQVAppStartup({"-nosplash"}).runLoop;
        // The model's services (fonts of the styles among them), then the default styles, sizes
        // and typesetting settings, as a fresh preferences folder gives them.
        if (m_started) {
            InstallModelWiring();
            ResetGeneralPrefs();
        }
    }
    ~HeadlessProgram() {
        CQVAppShutdown();
        std::error_code ignored;
        if (!m_home.empty())
            std::filesystem::remove_all(m_home, ignored);
    }
    bool started() const { return m_started; }

private:
    std::string m_home;
    bool m_started = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkexamples <folder> <translator folder>\n");
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    const HeadlessProgram program;
    if (!program.started()) {
        std::fprintf(stderr, "mkexamples: the program did not start\n");
        return 1;
    }
    RegisterAllTemplates();
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
    Translator mathML;
    std::string message;
    const std::string translatorPath = std::string(argv[2]) + "/MathML.cat";
    if (!LoadTranslatorFile(translatorPath.c_str(), mathML, message)) {
        std::fprintf(stderr, "mkexamples: %s: %s\n", translatorPath.c_str(), message.c_str());
        return 1;
    }
    for (const kvtool::ExampleExport& exported : kvtool::ExampleExports()) {
        const std::filesystem::path path = folder / exported.path;
        std::filesystem::create_directories(path.parent_path());
        const kvtool::ExampleDocument* source = exampleAt(exported.source);
        const std::string ext = path.extension().string();
        const int code = CatchFail([&] {
            if (source == nullptr)
                Fail(errNoExpressionInFile);
            ExprPtr tree = kvtool::BuildStoredExample(*source);
            if (ext == ".mml")
                writeText(path, GenerateTranslation(mathML, tree.get(), kPurposeFile));
            else
                WriteExportFile(ext == ".eps" ? kEpsSaveType : kPngSaveType, tree.get(), nullptr,
                                path.string());
        });
        if (code != 0) {
            std::fprintf(stderr, "mkexamples: %s: error %d\n", path.string().c_str(), code);
            return 1;
        }
    }
    return 0;
}
