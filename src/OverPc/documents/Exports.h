// The export save types: EPS, PNG, enhanced metafile and bitmap files, each carrying the
// expression so that the file opens again as an editable document.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>
#include <string>
#include <vector>

class ExprFilePane;

inline constexpr int32_t kEpsSaveType = 2;
inline constexpr int32_t kPngSaveType = 3;
inline constexpr int32_t kEmfSaveType = 12;
inline constexpr int32_t kBmpSaveType = 13;

// EPS resolution in dots per inch (0 or less: 300).
extern int32_t EpsResolution;
// EPS dialect: 1 simplified PostScript (basic operators only), anything else regular.
extern int32_t EpsOutputType;
inline constexpr int32_t kSimplifiedEpsOutput = 1;
// Bitmap pictures (copied and exported) in dots per inch (0 or less: the screen's).
extern int32_t BitmapResolution;
// (Metafile pictures: MetafileDotsPerInch of OverPc/PEXPRPICT.h.)

// The fonts of the expression's characters (laid out) in the PostScript document font list.
void CollectDocumentFonts(const eExpr* expression);

// The EPS text of the expression through the PostScript port (next-picture rotation, margins,
// the background when given), with the document lines after the trailer.
std::string ExprEpsText(const eExpr* expression, const Color* background);

// Writes the file of one save type (through a sibling, so an existing file survives a failure).
void WriteExportFile(int32_t saveType, const eExpr* expression, const Color* background,
                     const std::string& path);

// Opens the expression a PNG file carries in a new document window named after the file; false
// when the file carries none.
bool OpenPngDocument(const char* path);

// Fichier > "Imprimer l'expression...": the front document's expression on one page, at the
// printer's resolution at the top left of the printable area (clipped, not scaled).
void PrintExpressionCommand();
// Édition > "Couleur de fond...": the colour chooser on the front document's background; white
// means no background of its own; Cancel changes nothing.
void ChooseBackgroundColourCommand();

// Installs the writers of the four save types.
void InstallExportWriters();
