// Expressions in pictures: an expression drawn into an enhanced metafile carries its own
// encoding, so that the picture can be edited again. The metafile holds three comments: the
// picture port's "DEVQ" record, a 12-byte "WordDesc" record ("WordDesc", two zero bytes, the
// 16-bit distance from the baseline to the bottom) and the expression encoding with its zero byte.
// Reading a picture back looks for the first comment that begins "]|Expr|[" and decodes it.
#pragma once

#include "OverSrcs/Winufo.h"
#include "OverSrcs/eObject.h"
#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class oPictPort;

// No picture port could be made.
inline constexpr int errNoPicturePort = 451;
// A metafile file carries no expression.
inline constexpr int errNoExpressionInFile = 495;
// The save type of enhanced metafiles.
inline constexpr int32_t kMetafileSaveType = 12;

// Metafile pictures in dots per inch, as the Metafile Prefs keep it (0 or less: not set).
extern int32_t MetafileResolution;
// The resolution every metafile of an expression is recorded at (Save Metafile, the metafile
// save type and both clipboard metafiles): MetafileResolution, or 2540 when it is 0 or less.
int32_t MetafileDotsPerInch();

// The rotation the next picture is drawn with and the permanent one it goes back to afterwards
// (hundredths of a degree, quarter turns).
extern int32_t NextPictureRotation;
extern int32_t PictureRotationSetting;

// Blank space added around every picture of an expression, in points on each side (-5..100; a
// negative margin crops). The picture grows by each margin at its own resolution, rounded.
struct PictureMargins {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};
extern PictureMargins PictureMarginSettings;
// A margin in points as picture units at `dotsPerInch`, rounded to the nearest (halves away from
// zero).
int32_t MarginInDots(int32_t points, int32_t dotsPerInch);

class oGraphPort;

// Where an expression goes in a picture of it: the turned expression with the margins around it.
// Every kind of picture (metafile, bitmap, PNG) is laid out by the same rules.
struct ExprPictureFrame {
    int32_t angle = 0; // hundredths of a degree
    Zone rotated{};    // the expression's zone from (0, 0), turned
    int32_t left = 0;  // the margins in picture units
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    Zone picture{}; // the whole picture from (0, 0), never below one unit each way
};
// The frame of an expression laid out at `dotsPerInch` (`resolution` port units): the margins
// take in, besides the blank space asked for, whatever ink reaches past the laid-out zone. An
// oversampled picture (drawn `oversampling` times larger, then reduced) has margins in whole
// pixels of the result. Takes the next-picture rotation, so the permanent one applies again to
// the picture after this one.
ExprPictureFrame TakeExprPictureFrame(eExpr& laidOut, int32_t dotsPerInch, int32_t resolution,
                                      int32_t oversampling = 1);
// Draws the laid-out expression into its frame on `port` (through a rotation port when turned).
void DrawExprInFrame(eExpr& laidOut, oGraphPort& port, const ExprPictureFrame& frame);

struct ExprPictureStyle {
    Color foreground{0, 0, 0, 255};
    Color background{255, 255, 255, 255};
    // Keeps the background unpainted (and the encoding says there is none).
    bool keepBackground = false;
};

// The distance from the expression's baseline to the bottom of its laid-out zone.
int32_t ExprPictureDescent(const eExpr& expression);

// Draws the expression into a new enhanced metafile at `dotsPerInch` (0: the screen's) and gives
// it to the picture. The caller's tree is not re-laid out: a copy is. Fails with
// errNoPicturePort when no picture port can be made; an encoding that cannot be written fails
// outward too.
void MakeExprPicture(WinUfo& picture, const eExpr* expression, int32_t dotsPerInch,
                     const ExprPictureStyle& style);
std::unique_ptr<WinUfo> NewExprPicture(const eExpr* expression, int32_t dotsPerInch,
                                       const ExprPictureStyle& style);
// Adds the "WordDesc" comment and the expression encoding (picture records on, bitmaps off).
void WriteWordDesc(oPictPort& port, int32_t descent, const eExpr* expression, bool noBackground,
                   const Color& background);

// The expression of the first encoding comment that decodes; null when there is none.
ExprPtr ExprFromEnhMetaFile(plat::HENHMETAFILE metafile);
// The expression a picture carries (its metafile's encoding comment, else the encoding after the
// pixel rows of the bitmap it was made from), or an empty row when it carries none.
ExprPtr ExprFromWinUfo(const WinUfo* picture);
// The expression carried by the bytes of a metafile file: an enhanced metafile (" EMF" at offset
// 40) is walked record by record, a Windows metafile (with or without its placeable header) escape
// by escape; every size is checked against the bytes. Null when none decodes.
ExprPtr ExprFromMetafileBytes(const uint8_t* data, size_t size);
// Opens the expression a metafile file carries in a new document window named after the file;
// alert errNoExpressionInFile (false) when there is none or the file cannot be read.
bool ReadEmfFile(const char* path);
// Writes the expression as an enhanced metafile file (through a temporary sibling, so an
// existing file survives a failure); fails into the caller's error environment.
// Recorded at `dotsPerInch` (0 or less: the screen's).
void SaveExprAsMetafile(const eExpr* expression, const char* path, const ExprPictureStyle& style,
                        int32_t dotsPerInch = 0);
// The "Save Metafile" command of the front document window; true when the file was written (the
// document then has the metafile save type).
bool SaveMetafileCommand();
