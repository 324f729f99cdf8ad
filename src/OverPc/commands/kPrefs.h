#pragma once
// The preference files of the preferences folder: general.prf (every setting the dialogs keep from
// one run to the next, in a fixed order of keyed-line records), keys.prf (the key map) and
// function.txt (the function names). Start-up loads them (LoadCustomizations); each dialog that
// changes a setting writes general.prf at once, and shut-down writes it again.
//
// The built-in defaults are the constexpr tables below (and the style table, key map and function
// names of the model); the files shipped in the preferences folder are written from the same tables
// at build time by the prefsgen tool, so a fresh folder and no folder at all start the same.
//
// A damaged general.prf (a record that cannot be read, or a version this program does not know)
// is reported once; what could not be read keeps its default, and the file is left exactly as it
// is until the user changes a setting: silent saves (shut-down) skip it, the first save asked for
// by a dialog rewrites it whole (through a sibling that is renamed over it).

#include "OverSrcs/oGraph.h"

class oOStream;

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct FSSRecord;
class oIStream;
class oOStream;

inline constexpr char kGeneralPrefsFile[] = "general.prf";
inline constexpr int32_t kGeneralPrefsVersion = 1;
// Where a damaged general.prf is kept when a changed setting rewrites it.
inline constexpr char kDamagedPrefsCopy[] = "general.prf.damaged";
// "Impossible d'enregistrer le fichier Préférences."
inline constexpr int kPrefsSaveFailedMessage = 505;
// The damaged-file notice (the file's path is put in its "%s").
inline constexpr int kPrefsDamagedMessage = 1296;

// ---- The numeric records, in file order -------------------------------------------------------

inline constexpr int kMaxPrefFields = 13;

struct PrefRecordDefault {
    char tag[3];
    int32_t count; // fields written and required on reading
    std::array<int32_t, kMaxPrefFields> values;
    // Further numbers found on the line are kept and written back unchanged.
    bool keepsExtra = false;
};

// Every numeric record of general.prf with its defaults. Ot..Bd and Cy belong to settings the
// model and the font manager hold; the others are kept here (GeneralPrefValue).
inline constexpr std::array<PrefRecordDefault, 32> kGeneralPrefRecords{{
    {"Ve", 1, {kGeneralPrefsVersion}},
    // unit, wide structure (read as 0), replace placeholders, auto-space
    {"Ot", 4, {0, 1, 0, 1}},
    // minimum character size, steps 1-3, minimum font size
    {"Ss", 5, {6, 14, 18, 20, 4}},
    // fraction bar, distance, size; root index size, stroke weight, right hook
    {"Rf", 6, {4, 8, 3, 4, 4, 1}},
    // scripts size, Sigma/Pi size, sup height, sub depth, sup separation, sub separation
    {"Sc", 6, {2, 2, 4, 2, 8, 8}},
    // limits size, weight, height; fixed, quantise, straight, no inner space
    {"In", 7, {4, 4, 16, 0, 0, 0, 0}},
    // vertical, horizontal, increase; quantise, straight, balance
    {"Fe", 6, {4, 4, 0, 0, 0, 0}},
    {"Mk", 2, {4, 4}},
    // permanent picture rotation (hundredths of a degree)
    {"Co", 1, {0}},
    // picture margins left, top, right, bottom (points)
    {"Bd", 4, {0, 0, 0, 0}},
    // magnification ratio
    {"Mr", 2, {72, 300}},
    {"Sa", 1, {1}},
    {"Cf", 1, {4}},
    // (the "Ca" text record follows Cf)
    {"Pn", 3, {0, 1, 2}},
    {"Qv", 2, {1, 0}},
    {"Ep", 7, {0, 0, 300, 0, 0, 0, 0}},
    {"Bi", 2, {72, 0}},
    {"Mf", 1, {2540}},
    {"Cy", 1, {0}},
    {"Bz", 1, {0}},
    // palette window open, left, top
    {"Pw", 3, {1, 8, 8}},
    // new-window place: left, top, right, bottom
    {"Nw", 4, {5, 170, 400, 400}},
    {"Wd", 13, {0, 0, 1152, 300, 0, 1, 1, 0, 3, 0, 0, 0, 1}, true},
    {"Fm", 5, {0, 0, 1, 1152, 300}, true},
    {"Pm", 5, {0, 0, 1, 1152, 300}, true},
    {"Id", 6, {0, 0, 0, 0, 72, 1200}, true},
    {"Il", 7, {0, 0, 1, 0, 1, 72, 300}, true},
    {"Ph", 4, {0, 1, 72, 300}, true},
    {"Gl", 2, {2, 1}},
    {"Dw", 2, {2, 1}},
    {"Bb", 2, {2, 1}},
    {"Wc", 2, {2, 1}},
}};

// The record that follows Cf: the Copy As translator file (text; empty: the default translator).
inline constexpr char kTranslatorPrefTag[] = "Ca";

// The function names of a fresh preferences folder (function.txt).
inline constexpr std::array<std::string_view, 37> kDefaultFunctionNames{
    "sin",  "cos",  "tan",  "cot", "sec", "csc", "arcsin", "arccos", "arctan", "sinh",
    "cosh", "tanh", "coth", "log", "ln",  "lg",  "exp",    "lim",    "liminf", "limsup",
    "max",  "min",  "sup",  "inf", "det", "dim", "ker",    "deg",    "gcd",    "lcm",
    "arg",  "hom",  "mod",  "Pr",  "Re",  "Im",  "tr"};

// ---- Values kept for the records no other module holds ----------------------------------------

// Field `field` of record `tag` (its default before any file is read, 0 for a field it lacks).
int32_t GeneralPrefValue(std::string_view tag, int field);
void SetGeneralPrefValue(std::string_view tag, int field, int32_t value);
// Top-left corner of a new document window (the "Nw" record's left and top).
oPoint NewWindowPlace();
// Text of the "Ca" record.
const std::string& TranslatorPrefText();
void SetTranslatorPrefText(std::string_view path);

// ---- Reading and writing ------------------------------------------------------------------------

// Every setting kept in general.prf back to its default (style table, size steps and their
// table, typesetting settings, picture settings, symbol font choice, the values above).
void ResetGeneralPrefs();

struct GeneralPrefsReadResult {
    int recordsRead = 0;
    int recordsFailed = 0; // lines of known records that could not be read (they changed nothing)
    bool unknownVersion = false;
    int macrosFailed = 0; // "Mc" records among the failed ones (those macros were not loaded)
    bool damaged() const { return recordsFailed > 0 || unknownVersion; }
};
// Reads records into the settings; a damaged record changes nothing.
GeneralPrefsReadResult ReadGeneralPrefs(oIStream& stream);
// Writes the "Ve" line and every record in its fixed order.
void WriteGeneralPrefs(oOStream& stream);
// An entry inherits everything: font "*", size -1000, every style field inheriting, a blank
// shortcut. The first such entry is where a new font command goes; general.prf leaves it out.
bool IsFreeStyleEntry(const FSSRecord& entry);

// Writes the shipped preference files (general.prf, keys.prf, function.txt) from the default
// tables into `folder` (made when missing). Fails like the streams.
void WriteDefaultPrefsFolder(const std::string& folder);

// ---- The program's use ----------------------------------------------------------------------

// Start-up, after the fonts: every default, then general.prf, function.txt and keys.prf of the
// preferences folder and the size-step table.
void LoadCustomizations();
// Puts back what LoadCustomizations read: the default preferences, key map and no function
// names. The program does this when it stops.
void ForgetCustomizations();
// Loads the customisation the editing needs at start-up: the function names and the key map from
// the preferences folder. A missing or damaged file is reported and the built-in tables stay.
void LoadEditingCustomisation();
// Writes general.prf into the preferences folder (made when missing). Nothing while embedded, or
// when silent and the file on disk was found damaged (it is kept until a setting is changed).
// A failure is reported (the error, then message 505); silent, only on standard error, the first
// time since a file was last written. True when written.
bool SaveGeneralPrefs(bool silent);
// The path of a file of the preferences folder.
std::string PrefsFilePath(std::string folder, const char* name);
// Writes one file of the preferences folder (made when missing) through a sibling and a rename.
// Nothing while embedded or without a folder. A failure is reported (the error, then message 505);
// silent, only on standard error (message 505, the file and the reason), the first time since a
// file was last written. True when written.
bool WritePrefsFile(const std::string& folder, const char* name, void (*write)(oOStream&),
                    bool silent);
// SaveGeneralPrefs from folder `folder` (tests and the program share it).
bool SaveGeneralPrefsIn(const std::string& folder, bool silent);
// Whether the last general.prf read was damaged and has not been rewritten since.
bool GeneralPrefsKeptDamaged();
