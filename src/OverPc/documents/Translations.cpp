#include "OverPc/documents/Translations.h"

#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oStreams.h"
#include "plat/Speech.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>

std::string (*CopyAsTranslatorChoiceHook)() = nullptr;

namespace {

constexpr const char* kShippedNames[] = {"TeX.cat", "MathML.cat", "MathSpeak.cat"};
constexpr const char* kTextTranslatorName = "Text.CAT";

std::array<std::unique_ptr<Translator>, 3> s_shipped;
std::unique_ptr<Translator> s_copyAs;
std::string s_copyAsPath;

// A translator file from the user's preferences folder, else from the one shipped beside the
// program; `path` (when given) becomes the file it was read from.
bool loadFromPrefs(const char* name, Translator& out, std::string* path = nullptr) {
    std::string message;
    const std::string own = PrefsFolderPath() + name;
    const std::string shipped = PathSlotText(kProgramFolderSlot) + kPrefsFolderName + "/" + name;
    for (const std::string& file : {own, shipped}) {
        if (LoadTranslatorFile(file.c_str(), out, message)) {
            if (path != nullptr)
                *path = file;
            return true;
        }
    }
    // Logged beside what is there: the log is what a crash report shows of the run.
    LogInformation(message);
    return false;
}

const eExpr* paneExpression(const ExprFilePane& pane) {
    const eHeader* root = pane.root();
    return root != nullptr && root->childCount() > 0 ? root->getChild(0) : nullptr;
}

// The translation is made before the file is opened: one too large to give whole fails the save
// with nothing written.
void writeTranslation(const Translator& translator, ExprFilePane& pane, const std::string& path) {
    const std::string text = GenerateTranslation(translator, paneExpression(pane), kPurposeFile);
    oOStreamPtr stream(NewOFileStream(path.c_str(), false));
    constexpr size_t kPiece = size_t{1} << 30;
    for (size_t at = 0; at < text.size(); at += kPiece)
        stream->write(text.data() + at, static_cast<uint32_t>(std::min(kPiece, text.size() - at)));
    CloseStream(stream);
}

void saveMathML(ExprFilePane& pane, const std::string& path) {
    writeTranslation(GetShippedTranslator(ShippedTranslator::MathML), pane, path);
}

void saveText(ExprFilePane& pane, const std::string& path) {
    writeTranslation(CopyAsTranslator(), pane, path);
}

void saveMathSpeak(ExprFilePane& pane, const std::string& path) {
    writeTranslation(GetShippedTranslator(ShippedTranslator::MathSpeak), pane, path);
}

} // namespace

const Translator& GetShippedTranslator(ShippedTranslator which) {
    const auto index = static_cast<size_t>(which);
    if (!s_shipped[index]) {
        auto translator = std::make_unique<Translator>();
        loadFromPrefs(kShippedNames[index], *translator);
        s_shipped[index] = std::move(translator);
    }
    return *s_shipped[index];
}

Translator& CopyAsTranslator() {
    if (!s_copyAs) {
        auto translator = std::make_unique<Translator>();
        std::string message;
        const std::string chosen =
            CopyAsTranslatorChoiceHook != nullptr ? CopyAsTranslatorChoiceHook() : std::string();
        s_copyAsPath = chosen;
        if (chosen.empty() || !LoadTranslatorFile(chosen.c_str(), *translator, message)) {
            s_copyAsPath.clear();
            if (!loadFromPrefs(kTextTranslatorName, *translator, &s_copyAsPath) &&
                LoadTranslatorFile(DefaultTranslatorFile().c_str(), *translator, message))
                s_copyAsPath = DefaultTranslatorFile();
        }
        s_copyAs = std::move(translator);
    }
    return *s_copyAs;
}

void InstallCopyAsTranslator(Translator translator, const std::string& path) {
    s_copyAs = std::make_unique<Translator>(std::move(translator));
    s_copyAsPath = path;
}

const std::string& CopyAsTranslatorPath() {
    CopyAsTranslator();
    return s_copyAsPath;
}

void ForgetLoadedTranslators() {
    for (auto& t : s_shipped)
        t.reset();
    s_copyAs.reset();
    s_copyAsPath.clear();
}

std::string CopyFormatText(int32_t format, const eExpr* expression) {
    std::string text;
    switch (format) {
    case kCopyAsTeX:
        text = TranslateExpression(GetShippedTranslator(ShippedTranslator::TeX), expression);
        break;
    case kCopyAsMathML:
        text = TranslateExpression(GetShippedTranslator(ShippedTranslator::MathML), expression);
        break;
    case kCopyAsMathSpeak:
        text = TranslateExpression(GetShippedTranslator(ShippedTranslator::MathSpeak), expression);
        break;
    case kCopyAsMakerMath:
    case kCopyAsMakerComment:
        return ExprEncodingText(expression, "\n\t", format == kCopyAsMakerMath);
    default:
        text = TranslateExpression(CopyAsTranslator(), expression);
        break;
    }
    // Every copy stays editable: text whose translator left the expression out carries it on a
    // line of its own.
    if (text.find(kEncodingStart) == std::string::npos) {
        if (!text.empty())
            text.push_back('\n');
        text += EncodingTokenOf(expression);
    }
    return text;
}

void SpeakSelectionCommand() {
    plat::SpVoice* voice = CQVApp::instance().m_Voice;
    ExprPtr expression = ExportExpression(false);
    const std::string reading =
        expression ? TranslateExpression(GetShippedTranslator(ShippedTranslator::MathSpeak),
                                         expression.get())
                   : std::string();
    if (voice == nullptr || reading.empty()) {
        CommandBeep();
        return;
    }
    voice->Speak(reading.c_str(), plat::SPF_ASYNC | plat::SPF_PURGEBEFORESPEAK, nullptr);
}

void InstallTranslationServices() {
    SetDocumentSaveWriter(4, &saveMathML);
    SetDocumentSaveWriter(5, &saveText);
    SetDocumentSaveWriter(6, &saveMathSpeak);
}
