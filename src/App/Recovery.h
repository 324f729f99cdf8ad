#pragma once
// Keeping the unsaved documents when a signal ends the program, and offering them at the next
// start.

#include <cstdint>
#include <functional>
#include <string>
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

// The record, in the preferences folder, of the recovery copies not offered yet: `paths` are
// added to it (written beside and moved over the old record), and so are the copies of an offer
// still waiting for its answer (a signal ended the program meanwhile: they are offered again).
// Failures are ignored.
void NoteRecoveryCopies(const std::string& prefsFolder, const std::vector<std::string>& paths);
// At start-up: the temporaries that an ending cut short (its process gone) left in the Recovered
// folders are cleared away with their siblings; an empty one is removed, a whole one (a copy
// written but never named) gets a name of its own ("Document <time>.pvx"), which is returned.
std::vector<std::string> SweepRecoveryTemporaries(const std::string& prefsFolder);
// The recovery copies to offer now: those of the record that are still regular files. The record
// is removed first, so that each copy is offered once, whatever the answer.
std::vector<std::string> TakeRecoveryCopiesToOffer(const std::string& prefsFolder);

// At start-up: when the last ending kept unsaved documents, a box names their files and asks
// whether to open them; Oui opens each, Non leaves them where they are. Neither offers them again.
void OfferRecoveredDocuments();
