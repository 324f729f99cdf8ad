// Translates the expression of a document file with a translator file, for the translator
// checks (pdflatex, the MathML DTD). Usage: cattrans <translator.cat> copy|file <input> <output>
#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/etTranslator.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: cattrans <translator.cat> copy|file <input> <output>\n", stderr);
        return 2;
    }
    InitErrorSystem();
    RegisterAllTemplates();
    Translator translator;
    std::string message;
    if (!LoadTranslatorFile(argv[1], translator, message)) {
        std::fprintf(stderr, "cattrans: %s\n", message.c_str());
        return 1;
    }
    std::ifstream in(argv[3], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ExprPtr root;
    (void)CatchFail([&] { root = FindEmbeddedEncoding(text.data(), text.size()); });
    if (!root) {
        std::fprintf(stderr, "cattrans: no expression in %s\n", argv[3]);
        return 1;
    }
    const int32_t purpose = std::string(argv[2]) == "file" ? kPurposeFile : kPurposeCopy;
    std::string out;
    if (CatchFail([&] { out = GenerateTranslation(translator, root.get(), purpose); }) != 0) {
        std::fprintf(stderr, "cattrans: the translation of %s passes its bound\n", argv[3]);
        return 1;
    }
    std::ofstream file(argv[4], std::ios::binary);
    file << out;
    return file ? 0 : 1;
}
