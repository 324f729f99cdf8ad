#include "OverPc/PERROR.h"

#include "ErrorFixture.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kvtest::ErrorFixture;
using plat::testing::MessageBoxCall;

class PERRORTest : public ErrorFixture {};

TEST_F(PERRORTest, FailResumesTheInnermostEnvironmentAndDepthFollows) {
    std::vector<std::string> trail;
    const std::int16_t outer = CatchFail([&] {
        EXPECT_EQ(ErrorEnvDepth(), 1);
        GuardedCall(
            [&] {
                EXPECT_EQ(ErrorEnvDepth(), 2);
                Fail(errFileNotFound);
                trail.push_back("after Fail"); // never runs
            },
            [&](std::int16_t code) {
                trail.push_back("inner " + std::to_string(code) + " at depth " +
                                std::to_string(ErrorEnvDepth()));
                Fail(code); // passed outward
            });
        trail.push_back("after inner"); // never runs
    });
    EXPECT_EQ(outer, errFileNotFound);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    EXPECT_EQ(trail, std::vector<std::string>{"inner 452 at depth 1"});
}

TEST_F(PERRORTest, NormalEndPopsAndReturnsTheBodysResult) {
    const int v = GuardedCall([] { return 7; }, [](std::int16_t) { return -1; });
    EXPECT_EQ(v, 7);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    // A recovered environment lets the enclosing one go on normally.
    const int w = GuardedCall(
        [] {
            const std::int16_t inner = CatchFail([] { Fail(errDataCorrupted); });
            EXPECT_EQ(ErrorEnvDepth(), 1);
            return inner + 1;
        },
        [](std::int16_t) { return -1; });
    EXPECT_EQ(w, errDataCorrupted + 1);
}

TEST_F(PERRORTest, The33rdPushResumesThe32ndWithRecursion) {
    int deepestBody = 0;
    std::int16_t seenCode = 0;
    int depthInRecovery = -1, levelOfRecovery = -1;
    std::function<void(int)> push = [&](int level) {
        GuardedCall(
            [&] {
                deepestBody = level;
                EXPECT_EQ(ErrorEnvDepth(), level);
                push(level + 1);
            },
            [&](std::int16_t code) {
                if (seenCode == 0) {
                    seenCode = code;
                    depthInRecovery = ErrorEnvDepth();
                    levelOfRecovery = level;
                }
            });
    };
    push(1);
    EXPECT_EQ(deepestBody, 32); // 32 environments were pushed, the 33rd body never ran
    EXPECT_EQ(seenCode, errRecursion);
    EXPECT_EQ(levelOfRecovery, 32);
    EXPECT_EQ(depthInRecovery, 31);
    EXPECT_EQ(ErrorEnvDepth(), 0);
}

TEST_F(PERRORTest, OtherExceptionsRestoreTheDepth) {
    EXPECT_THROW(
        GuardedCall([] { CatchFail([] { throw std::runtime_error("x"); }); }, [](std::int16_t) {}),
        std::runtime_error);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    // Running out of memory is reported like any error of the program.
    EXPECT_EQ(CatchFail([] { throw std::bad_alloc(); }), errNoMemory);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    // A catch of std::exception in a body does not swallow Fail.
    EXPECT_EQ(CatchFail([] {
                  try {
                      Fail(errFontsLoad);
                  } catch (const std::exception&) {
                  }
              }),
              errFontsLoad);
}

TEST_F(PERRORTest, CodesTravelAsSigned16Bits) {
    EXPECT_EQ(CatchFail([] { Fail(0x10000 + errDataCorrupted); }), errDataCorrupted);
    EXPECT_EQ(CatchFail([] { Fail(0xFFFF); }), -1);
    EXPECT_EQ(CatchFail([] { Fail(-2); }), -2);
}

TEST_F(PERRORTest, PopWithNothingPushedOnlyLogs) {
    PopErrorEnv();
    EXPECT_EQ(ErrorEnvDepth(), 0);
    const std::string log(LoggedInformation());
    EXPECT_EQ(log.rfind("Assertion failure (Error Stack Underflow) on (PERROR:", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST_F(PERRORTest, EnvironmentBeforeInitialisationIsLoggedAndStillWorks) {
    FreeErrorSystem();
    EXPECT_EQ(CatchFail([] { Fail(errNoMemory); }), errNoMemory);
    const std::string log(LoggedInformation());
    EXPECT_EQ(log.rfind("Assertion failure (errorEnv) on (PERROR:", 0), 0u) << log;
}

TEST_F(PERRORTest, AssertionsAppendOneLineWithTheSourceStem) {
    const unsigned line = __LINE__ + 1;
    KV_ASSERT(1 + 1 == 3, "arithmetic");
    KV_ASSERT(1 + 1 == 2, "never logged");
    oAssertionFailure("/some/folder/oGraph.cpp", 12, "setPanorama() never called");
    oAssertionFailure("C:\\src\\Pwindow.cpp", 7, "win");
    oAssertionFailure("Presourc", 3, "plain stem");
    const std::string expected =
        "Assertion failure (arithmetic) on (PERRORTest:" + std::to_string(line) +
        ")\n"
        "Assertion failure (setPanorama() never called) on (oGraph:12)\n"
        "Assertion failure (win) on (Pwindow:7)\n"
        "Assertion failure (plain stem) on (Presourc:3)\n";
    EXPECT_EQ(LoggedInformation(), expected);
    // Long texts are kept whole.
    SetLoggedInformation("");
    const std::string longText(3000, 'z');
    oAssertionFailure("x.cpp", 1, longText.c_str());
    EXPECT_EQ(LoggedInformation().size(),
              std::string("Assertion failure () on (x:1)\n").size() + 3000);
}

struct ErrorText {
    int code;
    int name;
    const char* text; // Windows-1252
};

// The framework's messages, exactly as the program must show them.
const ErrorText kErrorTexts[] = {
    {437, errOleServerInit, "Erreur pendant l'initialisation d'un serveur OLE"},
    {438, errOleServerRegister, "Erreur pendant l'enregistrement d'un serveur OLE"},
    {439, errOleDocumentRegister, "Erreur d'enregistrement d'un document OLE"},
    {440, errUserInterrupt, "Interruption par l'usager"},
    {441, errNoMemory,
     "Il n'y a plus de m\351moire disponible. Vous avez besoin de plus de m\351moire pour "
     "continuer."},
    {442, errPrinterCheck, "Une erreur est survenue - S.V.P. v\351rifiez l'imprimante."},
    {443, errPrintManagerMissing, "Le gestionnaire d'imprimante n'est pas charg\351."},
    {444, errPrintCancelled, "L'impression a \351t\351 annul\351e."},
    {445, errPrintNoDiskSpace, "Pas d'espace disque pour la file d'attente d'impression."},
    {446, errPrintNoMemory, "M\351moire insuffisante pour l'impression."},
    {447, errFileAccessDenied, "Acc\350s au fichier refus\351."},
    {448, errNotEnoughMemory, "Pas assez de m\351moire pour continuer!"},
    {449, errRealMode, "Ce logiciel ne peut \352tre ex\351cut\351 en mode r\351el"},
    {450, errRecursion, "R\351cursivit\351 - Plus d'espace disque"},
    {451, errUnplanned,
     "Oooops!  We're sorry - this Tessaron software is going to crash for an unplanned reason. Our "
     "mistake, not yours! You can help us correct this by reporting this bug right now."},
    {452, errFileNotFound, "Tentative pour ouvrir un fichier qui n'existe pas"},
    {453, errAllocTooLarge, "Une tentative d'allocation de trop de m\351moire a \351t\351 faite."},
    {454, errColorPaletteMemory,
     "Incapable d'allouer de la m\351moire pour charger la Palette de couleurs."},
    {455, errColorPaletteLoad,
     "Incapable de charger la Palette de couleurs - l'ex\351cutable pourrait \352tre corrompu !"},
    {456, errFontListLoad,
     "Incapable de charger la liste interne des polices - l'ex\351cutable pourrait \352tre "
     "corrompu !"},
    {457, errNoPrinterDriver, "Aucun pilote d'imprimante n'a \351t\351 trouv\351"},
    {458, errNoDefaultPrinter, "No default printer was found."},
    {459, errPrinterNotFound, "Printer not found."},
    {460, errFontsLoad, "Unable to load fonts."},
    {461, errNotInstalled,
     "D\351sol\351, cette caract\351ristique n'est pas install\351e dans cette version."},
    {462, errDataCorrupted,
     "D\351sol\351, les donn\351es ont \351t\351 alt\351r\351es; on ne peut les retrouver."},
};

TEST_F(PERRORTest, EveryFrameworkErrorHasItsTextFollowedByTheDetail) {
    SetErrorMessage("/home/u/doc.pvx");
    for (const ErrorText& e : kErrorTexts) {
        SCOPED_TRACE(e.code);
        EXPECT_EQ(e.code, e.name);
        EXPECT_EQ(std::string(BuildErrorText(e.code)), std::string(e.text) + "\n/home/u/doc.pvx");
    }
}

TEST_F(PERRORTest, CodeZeroAndCodesWithoutTextGiveTheDefaultMessage) {
    const std::string unplanned = kErrorTexts[errUnplanned - 437].text;
    EXPECT_EQ(std::string(BuildErrorText(0)), unplanned + "\n");
    EXPECT_EQ(std::string(BuildErrorText(9999)), unplanned + "\n");
    EXPECT_EQ(std::string(BuildErrorText(-1)), unplanned + "\n");
    SetErrorMessage("detail");
    EXPECT_EQ(std::string(BuildErrorText(0)), unplanned + "\ndetail");
    SetErrorMessage(nullptr);
    EXPECT_EQ(std::string(BuildErrorText(errFileNotFound)),
              std::string(kErrorTexts[errFileNotFound - 437].text) + "\n");
    // The detail keeps at most 255 characters, and a long text keeps all of it.
    SetErrorMessage(std::string(400, 'd').c_str());
    EXPECT_EQ(std::strlen(ErrorDetail()), 255u);
    EXPECT_EQ(std::string(BuildErrorText(errUnplanned)), unplanned + "\n" + std::string(255, 'd'));
    EXPECT_EQ(LoadErrorString(9999), nullptr);
    ASSERT_NE(LoadErrorString(kProductNameStringId), nullptr);
    EXPECT_STREQ(LoadErrorString(kProductNameStringId), "Korvaline");
}

TEST_F(PERRORTest, ErrorAlertIsATopmostStopBoxWithABeepAndRestoresTheModalState) {
    const plat::HWND notAWindow = plat::HandleFromId<plat::HWND>(0x7777);
    CurrentDialog = notAWindow;
    bool sawModalState = false;
    plat::testing::onMessageBox([&](const MessageBoxCall&) {
        sawModalState = CurrentDialog == kSystemDialogRunning && MessageBoxUpFlag;
        return plat::IDOK;
    });
    SetErrorMessage("/tmp/x.pvx");
    ErrorAlert(errFileNotFound);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    const MessageBoxCall& box = plat::testing::messageBoxes()[0];
    EXPECT_EQ(box.text, std::string(kErrorTexts[errFileNotFound - 437].text) + "\n/tmp/x.pvx");
    EXPECT_EQ(box.caption, "Korvaline");
    EXPECT_EQ(box.type, kAlertStopStyle | plat::MB_TOPMOST);
    EXPECT_EQ(box.type & 0xFFFFu, 0x2010u);
    EXPECT_EQ(plat::testing::beeps(), std::vector<plat::UINT>{0});
    EXPECT_TRUE(sawModalState);
    EXPECT_EQ(CurrentDialog, notAWindow);
    EXPECT_FALSE(MessageBoxUpFlag);
}

TEST_F(PERRORTest, SystemErrorShowsTheSystemsTextWithoutOwner) {
    answerNextBox(plat::IDOK);
    errno = ENOENT;
    ErrorAlert(errSystem);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    const MessageBoxCall& box = plat::testing::messageBoxes()[0];
    EXPECT_EQ(box.text, std::strerror(ENOENT));
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.type, plat::MB_ICONINFORMATION);
}

TEST_F(PERRORTest, RetryAlertOffersRetryAndCancel) {
    for (int answer : {plat::IDRETRY, plat::IDCANCEL}) {
        SCOPED_TRACE(answer);
        plat::testing::reset();
        answerNextBox(answer);
        EXPECT_EQ(RetryAlert(errPrinterCheck), answer);
        ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
        EXPECT_EQ(plat::testing::messageBoxes()[0].type, 0x2015u);
        EXPECT_EQ(plat::testing::messageBoxes()[0].caption, "Korvaline");
        EXPECT_EQ(plat::testing::messageBoxes()[0].text,
                  std::string(kErrorTexts[errPrinterCheck - 437].text) + "\n");
        EXPECT_EQ(plat::testing::beeps().size(), 1u);
    }
}

TEST_F(PERRORTest, NoteAlertShowsNothingForAMissingString) {
    EXPECT_EQ(NoteAlert(9999), 0);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    answerNextBox(plat::IDOK);
    EXPECT_EQ(NoteAlert(errNotInstalled), plat::IDOK);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    const MessageBoxCall& box = plat::testing::messageBoxes()[0];
    EXPECT_EQ(box.text, kErrorTexts[errNotInstalled - 437].text);
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.type, 0x2040u);
    EXPECT_TRUE(plat::testing::beeps().empty());
}

TEST_F(PERRORTest, TitledAlertBeepsUnlessItIsInformation) {
    struct Case {
        char kind;
        const char* caption;
        unsigned type;
        std::size_t beeps;
        const char* shownCaption;
    };
    const Case cases[] = {{'i', "Aide", 0x2040, 0, "Aide"},
                          {'e', "Aide", 0x2010, 1, "Aide"},
                          {'w', nullptr, 0x2010, 1, "Korvaline"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        plat::testing::reset();
        answerNextBox(plat::IDOK);
        EXPECT_EQ(TitledAlert(c.caption, "Titre", "Le texte.", c.kind), plat::IDOK);
        ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
        const MessageBoxCall& box = plat::testing::messageBoxes()[0];
        EXPECT_EQ(box.text, "     Titre\n\nLe texte.");
        EXPECT_EQ(box.caption, c.shownCaption);
        EXPECT_EQ(box.type, c.type);
        EXPECT_EQ(plat::testing::beeps().size(), c.beeps);
    }
}

TEST_F(PERRORTest, NestedBoxesKeepTheFlagUpUntilTheOuterOneCloses) {
    bool flagAfterInner = false;
    plat::testing::onMessageBox([&](const MessageBoxCall&) {
        answerNextBox(plat::IDOK);
        AppMessageBox("inner", nullptr, 0);
        flagAfterInner = MessageBoxUpFlag && CurrentDialog == kSystemDialogRunning;
        return plat::IDOK;
    });
    EXPECT_EQ(AppMessageBox("outer", "C", 0), plat::IDOK);
    EXPECT_TRUE(flagAfterInner);
    EXPECT_FALSE(MessageBoxUpFlag);
    EXPECT_EQ(CurrentDialog, nullptr);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 2u);
    EXPECT_EQ(plat::testing::messageBoxes()[1].caption, "Korvaline");
}

TEST_F(PERRORTest, FailWithNoEnvironmentReportsAndStops) {
    EXPECT_EXIT(
        {
            answerNextBox(plat::IDOK);
            Fail(errFileNotFound);
        },
        ::testing::ExitedWithCode(3), "error 452 with no error environment");
}

} // namespace
