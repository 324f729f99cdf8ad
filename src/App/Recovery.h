#pragma once
// Keeping the unsaved documents when a signal ends the program, and offering them at the next
// start.

#include "OverPc/PFILE.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A folder the ending may keep a recovery copy in (program form, ending with '/').
struct RecoveryPlace {
    std::string folder;
    bool make = false;     // made when missing (the folders of the preferences folder)
    bool markName = false; // outside those folders the copy's own name says it is a recovery
};

// The places tried for one document, in order: the preferences folder's "Recovered" folder, a new
// folder beside it ("Recovered 2"), the document's own folder (when it has a file), the home
// folder and the temporary folder.
std::vector<RecoveryPlace> RecoveryPlaces(const std::string& prefsFolder,
                                          const std::string& documentPath);

// How many names a recovery copy tries in one folder (its name, then " (2)", " (3)", ...).
inline constexpr int kRecoveryNameTries = 100;

// The name of a recovery copy of the document `documentName` kept at `stamp` (the n-th name tried
// in its folder): the document's name without extension, made safe as a file name, then the time;
// with `markName` the time reads "(copie de secours <time>)".
std::string RecoveryFileName(const std::string& documentName, const std::string& stamp,
                             bool markName, int n);

// Keeps one recovery copy in the first place that takes it and returns its path ("" when none did,
// `failure` then holds the last place's error code). `write` writes the document whole to the
// path it is given and fails like the streams. The copy is written under a temporary name of its
// own and only then given its name, without replacing anything (a name that is taken is passed
// over), so that a file under a recovery name is whole or absent. Nothing goes through a symbolic
// link: a folder that is one is passed over and no name is followed. `chosen`, when set, is called
// with the first name free in the folder just before the copy is given a name.
std::string KeepRecoveryCopy(const std::vector<RecoveryPlace>& places,
                             const std::string& documentName, const std::string& stamp,
                             const std::function<void(const std::string& path)>& write,
                             const std::function<void(const std::string& path)>& chosen,
                             std::int16_t& failure);

// One recovery copy the ending kept: the copy, the document's own path ("" for a document that
// never had a file) and its file on disk as the document last read or wrote it.
struct RecoveryEntry {
    std::string copy;
    std::string original;
    FileIdentity identity;
    bool operator==(const RecoveryEntry&) const = default;
};

// The record of the recovery copies not offered yet (".recovered" in the preferences folder), one
// copy a line: its path, then after a tab the document's path and its file's identity
// ("device:inode:size:seconds:nanoseconds"), each optional. '%', tab, carriage return and line
// feed within a path are written %XX. A line that does not read whole is skipped.
std::vector<RecoveryEntry> ParseRecoveryRecord(std::string_view text);
std::string FormatRecoveryRecord(const std::vector<RecoveryEntry>& entries);

// Adds `entries` to the record (written beside and moved over the old record, never through a
// link planted in its place). Failures are ignored.
void NoteRecoveryCopies(const std::string& prefsFolder, const std::vector<RecoveryEntry>& entries);
// At start-up: the temporaries that an ending cut short (its process gone) left in the Recovered
// folders are cleared away with their siblings; an empty one is removed, a whole one (a copy
// written but never named) gets a name of its own ("Document <time>.pvx"), which is returned.
std::vector<std::string> SweepRecoveryTemporaries(const std::string& prefsFolder);
// Whether `entry` names a recovery copy the ending could have made: a regular file (not a link)
// whose name has the form of a copy's, in a folder of RecoveryPlaces for its document.
bool IsRecoveryCopy(const std::string& prefsFolder, const RecoveryEntry& entry);
// The recovery copies to offer now: those of the record that IsRecoveryCopy takes. The record is
// left as it is.
std::vector<RecoveryEntry> RecoveryCopiesToOffer(const std::string& prefsFolder);
// Once the offer is answered: the record forgets every copy it held when the offer was made.
void ForgetOfferedCopies(const std::string& prefsFolder);

// At start-up: when the last ending kept unsaved documents, a box names their files, each with
// the file it will be saved as (drawn in the code page), and asks whether to open them; Oui opens
// each as the document it was (its own path, or untitled, marked changed: a save writes it there,
// asking first when a file there is not the one the record knew, and then removes the copy), Non
// leaves them where they are.
// Neither offers them again; a signal that ends the program before the answer leaves them in the
// record for the next start.
void OfferRecoveredDocuments();
