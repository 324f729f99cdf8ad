#include "App/ModelWiring.h"

#include "App/AppHooks.h"
#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "App/Recovery.h"
#include "Dialogs/ChooseExampleDialog.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/HelpTours.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/MacroDefinitionsDialog.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/ModifyDialogs.h"
#include "Dialogs/OutputPrefsDialogs.h"
#include "Dialogs/PictureDialogs.h"
#include "Dialogs/PicturePrefsDialogs.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "Dialogs/TargetPrefsDialogs.h"
#include "Dialogs/TranslatorDialogs.h"
#include "Dialogs/TypesettingDialogs.h"
#include "ExprSrcs/Change.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/Find.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PPICTEXT.h"
#include "OverPc/PPRINT.h"
#include "OverPc/PUTIL.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/DibCarrier.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/HelpBalloons.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "plat/Files.h"
#include "plat/Menu.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

void (*RecoveryNameChosenHook)(const std::string& path) = nullptr;

namespace {

// The face of the default GUI font, which double-byte text falls back to.
bool defaultGuiFace(char (&face)[kFontNameSize]) {
    FontDesc desc;
    FontDescOfIndex(FontIndexForRole('d'), desc);
    if (desc.faceName[0] == '\0')
        return false;
    FSSRecord named;
    SetFSSFontName(named, desc.faceName);
    std::memcpy(face, named.fontName, sizeof face);
    return true;
}

// The Windows menu of the bar, where every document window has its entry.
constexpr int kWindowsMenuNumber = 33;

// Items of the pane's context menus: 54 over a selection, 55 elsewhere in the pane.
constexpr int32_t kContextUndo = 13827;
constexpr int32_t kContextCopy = 13829;
constexpr int32_t kContextPaste = 13862;
constexpr int32_t kContextPasteFromWord = 13863;
constexpr int32_t kContextCut = 13865;
constexpr int32_t kContextClear = 13866;
constexpr int32_t kContextFind = 13868;
constexpr int32_t kContextSelectInward = 13869;
constexpr int32_t kContextSelectOutward = 13870;
constexpr int32_t kContextSelectNext = 13871;
constexpr int32_t kContextSelectAll = 13872;
constexpr int32_t kPlainContextUndo = 14083;
constexpr int32_t kPlainContextFind = 14084;

// The pane asks for the modifier keys of the event it is handling; the shell keeps them in its
// globals, refreshed from the keyboard state of the current message.
void paneInputState(bool& shift, bool& ctrl, bool& altShift, bool& doubleClick) {
    SnapshotModifierKeys();
    shift = (ModifierFlags & kModShift) != 0;
    ctrl = (ModifierFlags & kModCtrl) != 0;
    altShift = (ModifierFlags & kModAltShift) != 0;
    doubleClick = DoubleClickFlag != 0;
}

void paneEnableMenuCommand(int32_t command, bool on) {
    EnableMenuCommand(command, on);
}

void showAutoSpaceOption();

void loadCustomisation() {
    LoadCustomizations();
    // "&Apply Font Command..." offers every font command in use.
    for (int i = 1; i < kStyleTableSize; ++i)
        if (!IsFreeStyleEntry(StyleTable[static_cast<size_t>(i)]))
            AddFontCommandMenuItem(i);
    // The Copy item names the copy format just read.
    UpdateCopyMenuLabel();
    // The preferences may have turned auto-spacing off.
    showAutoSpaceOption();
    LoadPalettePrefs(PrefsFolderPath());
}

void showStartupTools() {
    if (PaletteWindowWanted() && ThePalettePane() == nullptr)
        ShowPaletteWindow();
    // Documents the last ending kept are offered once everything is up.
    OfferRecoveredDocuments();
}

bool savePrefsAndCloseAll(int silent) {
    // The palette's place is kept for the next run.
    KeepPaletteWindowPlace();
    // Quitting changes no setting: a damaged file is kept.
    if (!GeneralPrefsKeptDamaged())
        SaveGeneralPrefs(silent != 0);
    // A close the user cancels (Annuler at a save question) leaves every window as it was, the
    // palette too; once the documents are gone the palette window goes with them.
    if (!CloseOwnWindows())
        return false;
    ClosePaletteWindow();
    return true;
}

// A termination signal: what Quit would keep is kept, without asking anything. Each document with
// unsaved changes is written whole into the preferences folder's "Recovered" folder (or the next
// place that takes it) and named on standard error with the file that holds it; the next start
// offers the files kept.
void endWithoutQuestions(int signal) {
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGHUP ? "SIGHUP" : "SIGTERM";
    const std::string prefs = PrefsFolderPath();
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    std::vector<RecoveryEntry> kept;
    for (ExprPane* pane = PaneList; pane != nullptr; pane = pane->nextPane()) {
        auto* document = dynamic_cast<ExprFilePane*>(pane);
        if (!pane->changed() || document == nullptr)
            continue;
        const std::string shown = plat::Utf8FromProgramPath(pane->fileName());
        const std::vector<RecoveryPlace> places = RecoveryPlaces(prefs, document->filePath());
        std::int16_t failure = 0;
        const std::string path = KeepRecoveryCopy(
            places, pane->fileName(), stamp,
            [document](const std::string& to) { WriteDocumentCopy(*document, to); },
            [](const std::string& to) {
                if (RecoveryNameChosenHook != nullptr)
                    RecoveryNameChosenHook(to);
            },
            failure);
        const std::string first = plat::NativePath(places.front().folder);
        if (!path.empty()) {
            kept.push_back({path, document->filePath(), document->diskIdentity()});
            // A recovered document kept again: the new copy holds all the older one did.
            if (!document->recoveryCopy().empty() && document->recoveryCopy() != path)
                RemoveFileQuietly(document->recoveryCopy().c_str());
            const std::string native = plat::NativePath(path);
            if (native.starts_with(first))
                std::fprintf(stderr,
                             "korvaline: ended by %s: \"%s\" was not saved, its changes are kept "
                             "in %s\n",
                             name, shown.c_str(), native.c_str());
            else
                std::fprintf(stderr,
                             "korvaline: ended by %s: \"%s\" was not saved, its changes are kept "
                             "in %s (%s could not take them)\n",
                             name, shown.c_str(), native.c_str(), first.c_str());
        } else {
            std::fprintf(stderr,
                         "korvaline: ended by %s: \"%s\" was not saved, and could not be kept in "
                         "%s nor in any other place tried (error %d): its changes are lost\n",
                         name, shown.c_str(), first.c_str(), failure);
        }
    }
    NoteRecoveryCopies(prefs, kept);
    KeepPaletteWindowPlace();
    SaveGeneralPrefs(true);
}

void saveGeneralPrefsAfterDialog() {
    SaveGeneralPrefs(false);
}

// ---- Context menus of the pane --------------------------------------------------------------

// The first item of each context menu stands for the current choice: choosing it does nothing.
int32_t firstItemOf(int32_t menu) {
    return menu * 256 + 1;
}

// ---- Copy Special and Copy As Type
// ---------------------------------------------------------------

// The copy format of each item of the two submenus, by menu bar id.
struct CopyAsItem {
    int menuId;
    int32_t format;
};
constexpr CopyAsItem kCopyAsItems[] = {
    {769, 21}, {771, 23},  {772, 24},  {773, 25},     {774, 26},  {775, 27},  {776, 28},
    {778, 29}, {779, 30},  {780, 32},  {781, 33},     {783, 41},  {784, 42},  {1025, 4},
    {1026, 5}, {1027, 17}, {1028, 21}, {1030, 11},    {1031, 15}, {1032, 16}, {1033, 1},
    {1035, 8}, {1036, 9},  {1037, 10}, {1539, kCopyAsTranslatorText}, // the current Copy As translator
};

template <int MenuId> void copyAsItem() {
    for (const CopyAsItem& item : kCopyAsItems) {
        if (item.menuId != MenuId)
            continue;
        // The current Copy As translator's text travels as the text of a metafile copy.
        CopyAs(false, true, item.format);
        return;
    }
}

template <size_t... I> void installCopyAsItems(std::index_sequence<I...>) {
    (SetMenuHandler(kCopyAsItems[I].menuId, &copyAsItem<kCopyAsItems[I].menuId>), ...);
}

// The menu bar item of a copy or "Paste From MathType" item of the pane's context menu (0 for
// other items): the two
// submenus keep the bar's order from 13830 and 13847.
int contextCopyItemMenuId(int32_t id) {
    if (id >= 13830 && id <= 13845)
        return 769 + (id - 13830);
    if (id >= 13847 && id <= 13859)
        return 1025 + (id - 13847);
    if (id == 13860)
        return 1539;
    if (id == 13864) // "Paste From MathType"
        return 1282;
    return 0;
}

// Whether the pane can run context item `id` with the subsystems installed now. The items of the
// copy formats, the pasting from other programs and the find window wait for their subsystems.
bool contextItemAvailable(int32_t id) {
    const CommandHooks& hooks = TheCommandHooks();
    switch (id) {
    case kContextUndo:
    case kPlainContextUndo:
    case kContextClear:
    case kContextSelectInward:
    case kContextSelectOutward:
    case kContextSelectNext:
    case kContextSelectAll:
        return true;
    case kContextCopy:
        return hooks.copy != nullptr;
    case kContextCut:
        return hooks.cut != nullptr;
    case kContextPaste:
    case kContextPasteFromWord:
        return hooks.paste != nullptr;
    case kContextFind:
    case kPlainContextFind:
        return hooks.openFindWindow != nullptr;
    default:
        return false;
    }
}

int32_t paneTrackContextMenu(ExprPane* pane, int32_t menu, oPoint point) {
    PopupChoice choice;
    SetMenuChoice(choice, menu, firstItemOf(menu));
    const int result = TrackContextMenu(choice, point, pane, 0, 0, 0);
    if (result != 2)
        return 0;
    if (const int menuId = contextCopyItemMenuId(choice.chosenItem)) {
        if (MenuCommandIsMissing(menuId))
            NoteAlert(errNotInstalled);
        else
            RunMenuCommand(menuId);
        return 0;
    }
    if (!contextItemAvailable(choice.chosenItem)) {
        NoteAlert(errNotInstalled);
        return 0;
    }
    return choice.chosenItem;
}

// ---- Windows menu entries of the document windows -------------------------------------------

// The pane behind each Windows menu entry, by item id: the menu services find entries by their
// argument, the pane by the id it was given.
std::map<int32_t, ExprPane*>& windowMenuEntries() {
    static std::map<int32_t, ExprPane*> entries;
    return entries;
}

void activatePaneEntry(std::intptr_t argument) {
    BringPaneToFront(reinterpret_cast<ExprPane*>(argument));
}

int32_t paneAddWindowMenuItem(const char* title, ExprPane* pane) {
    const int id = AddAdHocMenuItem(kWindowsMenuNumber, 0, title, &activatePaneEntry,
                                    reinterpret_cast<std::intptr_t>(pane));
    if (id != 0) {
        windowMenuEntries()[id] = pane;
        // The entry is the document's file name, written in the code page of the text.
        if (plat::HMENU menu = MenuOfNumber(kWindowsMenuNumber))
            plat::SetMenuItemTextInCodePage(menu, static_cast<plat::UINT>(id), plat::MF_BYCOMMAND,
                                            plat::TRUE);
    }
    return id;
}

void paneRemoveWindowMenuItem(int32_t item) {
    auto it = windowMenuEntries().find(item);
    if (it == windowMenuEntries().end())
        return;
    RemoveAdHocMenuItem(kWindowsMenuNumber, reinterpret_cast<std::intptr_t>(it->second));
    windowMenuEntries().erase(it);
}

void paneCheckWindowMenuItem(int32_t item, bool on) {
    auto it = windowMenuEntries().find(item);
    if (it == windowMenuEntries().end())
        return;
    CheckAdHocMenuItem(kWindowsMenuNumber, &activatePaneEntry,
                       reinterpret_cast<std::intptr_t>(it->second), on);
}

// ---- Help balloons over the selection
// ------------------------------------------------------------

// Whether a point of the window's client area lies on the highlighted selection of the active
// document.
bool pointOnActiveSelection(oWindow* window, oPoint point, Zone& area) {
    if (ActivePane == nullptr || ActiveRecord == nullptr || window == nullptr ||
        ActivePane->window() != window)
        return false;
    // Down the chain of panes from the window to the document pane.
    std::vector<oPane*> chain;
    for (oPane* p = ActivePane; p != nullptr && p != window; p = p->parent())
        chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        point = (*it)->fromParent(point);
    for (int32_t i = 0; i < ActiveRecord->count(); ++i) {
        const SelectionEntry& entry = ActiveRecord->entry(i);
        // A caret selects nothing to tell about.
        int32_t bands[4] = {};
        if (entry.node != nullptr && entry.start != entry.end &&
            PointOnEntryHighlight(entry, point) && EntryHighlightArea(entry, area, bands))
            return true;
    }
    return false;
}

// ---- Menu commands of the editing subsystem
// -------------------------------------------------------------

constexpr int kPrintSetupMenuId = 266;
constexpr int kLinkRowsMenuId = 527;
constexpr int kUnlinkRowsMenuId = 528;
constexpr int kAutoSpaceMenuId = 2051;
constexpr int kMatrixNumberingMenuId = 2052;
constexpr int kResetStyleMenuId = 5391;
constexpr int kFontNameMethodMenuId = 7431;
constexpr int kBaseFontMenuId = 7434;

// The item shows a check mark while the option is on.
void showAutoSpaceOption() {
    if (plat::HMENU bar = CQVApp::instance().m_MenuBar; bar && plat::IsMenu(bar))
        plat::CheckMenuItem(bar, kAutoSpaceMenuId,
                            plat::MF_BYCOMMAND |
                                (AutoSpaceOption != 0 ? plat::MF_CHECKED : plat::MF_UNCHECKED));
}

void toggleAutoSpace() {
    AutoSpaceOption = AutoSpaceOption != 0 ? 0 : 1;
    showAutoSpaceOption();
    if (SaveGeneralPrefsHook != nullptr)
        SaveGeneralPrefsHook();
}

} // namespace

void InstallModelWiring() {
    // A hook still unwired in the running program tells the user rather than doing nothing.
    SetUnwiredHookNotice(kNotYetImplementedStringId);
    ModelHooks& model = TheModelHooks();
    model.fontIndexForDesc = &FontIndexForFace;
    model.fontIndexEpoch = &FontIndexEpoch;
    model.fontIndexForRole = &FontIndexForRole;
    model.charClassOf = &CharClassOf;
    model.isLeadByte = [](unsigned char c) { return IsLeadByte(c); };
    TheAsianFontServices().faceScriptClass = &FaceScriptClass;
    // The encoding names each font's script class from the installed faces.
    SetEncodingFontClassifier(&FaceScriptClass);
    TheAsianFontServices().defaultGuiFace = &defaultGuiFace;

    InstallCommandModelHooks();
    model.checkUserAbort = &CheckUserAbort;
    TheCommandHooks().inputPending = &InputPending;
    TheExprPaneShellHooks().embedded = [] { return CQVApp::instance().m_Embedded; };
    InstallPaletteHooks();
    ThePaletteDrawingHooks().drawCommandPicture = &DrawCommandPicture;
    ThePaletteDrawingHooks().typingStyleDescription = &TypingStyleDescription;
    ThePaletteDrawingHooks().catalogBitmapId = &InsertCatalogBitmapId;
    SetMenuHandler(8449, &TogglePaletteWindowCommand);
    AppHooks().doCommand = &DoCommand;
    // The Modify dialogs of every kind of node (characters, templates, matrices).
    InstallModifyDialogs();
    InstallMatrixDialogs();
    // The font, style and size dialog: the change-font command and Modify on characters.
    InstallFontStyleDialog();
    InstallDocumentWindowHooks();
    // Documents open from files: Fichier > Ouvrir, start-up files and hand-overs.
    InstallDocumentOpener();
    AppHooks().openDocumentWindow = &OpenDocumentWindow;
    SetMenuHandler(258, &OpenDocumentCommand);
    SetMenuHandler(261, &ShowExamplesCommand);
    SetMenuHandler(259, &CloseDocumentCommand);
    SetMenuHandler(263, &SaveDocumentCommand);
    SetMenuHandler(264, &SaveDocumentAsCommand);
    // A new document saves as the type chosen in the preferences.
    NewDocumentSaveTypeHook = [] { return GeneralPrefValue("Sa", 0); };
    // Bitmap files that carry their expression.
    InstallDibCarrier();
    // The clipboard: Copy, Cut and Paste by menu, key and context menu.
    InstallClipboardCommands();
    InstallTranslationServices();
    CopyAsTranslatorChoiceHook = [] { return TranslatorPrefText(); };
    SetMenuHandler(531, &SpeakSelectionCommand);
    SetMenuHandler(7937, &ChooseTranslatorCommand);
    SetMenuHandler(7938, &DoCATEdit);
    AppHooks().createClipboardObject = &CreateClipboardObject;
    AppHooks().releaseClipboardObject = &ReleaseClipboardObject;
    SetMenuHandler(515, &CutCommand);
    SetMenuHandler(516, &CopyCommand);
    SetMenuHandler(517, &PasteCommand);
    SetMenuHandler(518, &ClearSelectionCommand);
    SetMenuHandler(1281, &PasteCommand); // "Paste From MSWord"
    SetMenuHandler(1282, [] { PasteMTEFFromClipboard(); });
    MtefNotice = [] { NotYetImplemented(); };
    installCopyAsItems(std::make_index_sequence<std::size(kCopyAsItems)>());
    CopyAsNothingNotice = [] { NotYetImplemented(); };
    // The export save types: EPS, PNG, metafile and bitmap files.
    InstallExportWriters();
    SetMenuHandler(267, &PrintExpressionCommand);
    SetMenuHandler(530, &ChooseBackgroundColourCommand);
    // Édition > "Rechercher & remplacer", and the find item of the context menus.
    InstallFindWindow();
    SetMenuHandler(kFindMenuId, &OpenFindWindow);
    // Pictures in expressions: copying, freeing, measuring and playing their metafiles.
    InstallWinUfoPlatform();
    // Pictures inside the expression encoding travel as picture text.
    SetUfoPictureCodec(&WriteUfoPicture, &ReadUfoPicture);
    TheExprPaneShellHooks().inputState = &paneInputState;
    // New document windows open at the place kept in the preferences ("Nw").
    TheExprPaneShellHooks().newWindowPlace = &NewWindowPlace;
    TheExprPaneShellHooks().enableMenuCommand = &paneEnableMenuCommand;
    TheExprPaneShellHooks().trackContextMenu = &paneTrackContextMenu;
    TheExprPaneShellHooks().addWindowMenuItem = &paneAddWindowMenuItem;
    TheExprPaneShellHooks().removeWindowMenuItem = &paneRemoveWindowMenuItem;
    TheExprPaneShellHooks().checkWindowMenuItem = &paneCheckWindowMenuItem;
    SetHelpBalloonSelectionProbe(&pointOnActiveSelection);
    AppHooks().runAdHocMenuItem = &RunAdHocMenuItem;
    // Préférences: the size steps, the typesetting settings and the ruler unit.
    for (const TypesettingMenuCommand& c : kTypesettingMenuCommands)
        SetMenuHandler(c.menuId, c.command);
    // Préférences > "Image Prefs...": the turn and the margins of copied pictures.
    SetMenuHandler(kImageRotationMenuId, &ChooseImageRotation);
    SetMenuHandler(kImageMarginsMenuId, &ChooseImageMargins);
    // The picture output settings and the symbol font.
    for (const PicturePrefsMenuCommand& c : kPicturePrefsMenuCommands)
        SetMenuHandler(c.menuId, c.command);
    // Préférences: the save type, the plain Copy's format and the web outputs.
    SetMenuHandler(kSavingPrefsMenuId, &ChooseSavingPrefs);
    SetMenuHandler(kCopySetPrefsMenuId, &ChooseCopySetPrefs);
    TheCommandHooks().copyMenuLabel = &UpdateCopyMenuLabel;
    SetMenuHandler(kPngPrefsMenuId, &ChoosePngPrefs);
    SetMenuHandler(kPluginTagPrefsMenuId, &ChoosePluginTagPrefs);
    // Préférences > "Targets Prefs...": how copies are prepared for outside applications.
    for (const TargetPrefsMenuCommand& c : kTargetPrefsMenuCommands)
        SetMenuHandler(c.menuId, c.command);
    InstallTargetPrefs();
    // Modifier > "&Change Rulers".
    SetMenuHandler(5378, &RulerCommand);
    // The rest of the Modifier menu: each item modifies the nearest node of its kind.
    SetMenuHandler(5380, &ModifyScriptsCommand);
    SetMenuHandler(5381, &ModifyIntegralCommand);
    SetMenuHandler(5382, &ModifyTreeNodeCommand);
    SetMenuHandler(5383, &ModifyBoxCommand);
    SetMenuHandler(5384, &ModifyFractionCommand);
    SetMenuHandler(5385, &ModifyRootCommand);
    SetMenuHandler(5386, &ModifyMarkCommand);
    SetMenuHandler(5387, &ModifyFenceCommand);
    SetMenuHandler(5388, &ModifyMatrixCommand);
    // Insertion > "&Insert Symbol/Expression...".
    SetMenuHandler(kInsertExpressionMenuId, &RunInsertExpression);
    // Options > "&Frappes...".
    SetMenuHandler(kCustomizeKeyboardMenuId, &CustomizeKeyboard);
    SetMenuHandler(kCustomizePaletteMenuId, &CustomizeMainPalette);
    // Options > "C&reate/Edit Macros...".
    SetMenuHandler(kMacroDefinitionsMenuId, &EditMacros);
    // Options > "&Commandes de caractères...", and the font command kind of the keyboard dialog.
    SetMenuHandler(kCharacterCommandsMenuId, &RunCharacterCommands);
    KeyboardFontCommandChooser = &AskFSSCmd;
    // Fichier > "Save Metafile...".
    // Fichier > "Save Metafile...": a metafile saved this way makes it the save type of new
    // documents too.
    SetMenuHandler(265, [] {
        if (SaveMetafileCommand())
            SetGeneralPrefValue("Sa", 0, kMetafileSaveType);
    });
    // Fichier > "Configuration de l'impression...".
    SetMenuHandler(kPrintSetupMenuId, [] { RunPrintSetupDialog(); });
    // Édition > "Alignement magique" and "Supprimer l'alignement".
    SetMenuHandler(kLinkRowsMenuId, [] { LinkRowsCommand(1); });
    SetMenuHandler(kUnlinkRowsMenuId, [] { LinkRowsCommand(0); });
    // Insertion > "Espacement automatique" (checked while on) and "Insérer un indice...".
    SetMenuHandler(kAutoSpaceMenuId, &toggleAutoSpace);
    showAutoSpaceOption();
    SetMenuHandler(kMatrixNumberingMenuId, &ChooseMatrixNumbering);
    // Modifier > "Change Root" runs the root settings; "Style par défaut" applies the reset style.
    TheCommandHooks().rootSettingsCommand = &ChooseRootSettings;
    SetMenuHandler(kResetStyleMenuId, &ApplyResetStyleCommand);
    // Préférences > "Font/Size Prefs": "Font Name Method" says it is not there yet; "Police par
    // défaut..." edits the base style.
    SetMenuHandler(kFontNameMethodMenuId, [] { NotYetImplemented(); });
    SetMenuHandler(kBaseFontMenuId, &ChooseBaseFont);
    // Commands join neighbouring words of one style after their edits.
    TheCommandHooks().mergeAdjacentWords = &MergeAdjacentWords;
    if (AppHooks().loadCustomisation == nullptr)
        AppHooks().loadCustomisation = &loadCustomisation;
    // The preference files: written after each settings dialog and at shut-down.
    if (AppHooks().showStartupTools == nullptr)
        AppHooks().showStartupTools = &showStartupTools;
    if (AppHooks().savePrefsAndCloseAll == nullptr)
        AppHooks().savePrefsAndCloseAll = &savePrefsAndCloseAll;
    if (AppHooks().endWithoutQuestions == nullptr)
        AppHooks().endWithoutQuestions = &endWithoutQuestions;
    SaveGeneralPrefsHook = &saveGeneralPrefsAfterDialog;
}
