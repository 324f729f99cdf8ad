// The translators the program uses: the three shipped ones (TeX, MathML, MathSpeak), loaded from
// the preferences folder on first use and kept for the run, and the Copy As translator (the "Ca"
// preference, else the preferences folder's "Text.CAT", else the program folder's "OxbeText.CAT",
// else an empty translator, with which every character stands for itself). Their uses: the text
// of the Copy As formats, the MathML, text and MathSpeak save types, and reading aloud.
#pragma once

#include "OverSrcs/eObject.h"
#include "OverSrcs/etTranslator.h"

#include <cstdint>
#include <string>

enum class ShippedTranslator { TeX, MathML, MathSpeak };

// The shipped translator; an empty one (and a note in the log) when its file cannot be read.
const Translator& GetShippedTranslator(ShippedTranslator which);
// The Copy As translator, loaded on first use.
Translator& CopyAsTranslator();
// Makes `translator`, read from `path`, the Copy As translator.
void InstallCopyAsTranslator(Translator translator, const std::string& path);
// The file the Copy As translator was read from (loading it first), empty when none could be.
const std::string& CopyAsTranslatorPath();
// Forgets every loaded translator (the next use loads again).
void ForgetLoadedTranslators();

// The clipboard text of a Copy As format: the TeX, MathML or MathSpeak translation for 8, 9 and
// 10, the encoding as text for 15 and 16, and the Copy As translator's output for every other
// format. A translation without the expression's encoding token gets it on a line of its own, so
// that every copy pastes back editable.
std::string CopyFormatText(int32_t format, const eExpr* expression);

// "Lire à voix haute": speaks the MathSpeak reading of the selection (the whole expression for a
// caret); beeps when there is no voice or nothing to read.
void SpeakSelectionCommand();

// The Copy As translator file the user chose (the "Ca" preference), empty for none. Start-up
// installs it; null reads as no choice.
extern std::string (*CopyAsTranslatorChoiceHook)();

// Installs the MathML (4), text (5) and MathSpeak (6) save types.
void InstallTranslationServices();
