// The translation engine: runs a translator's rules over an expression tree. Every node class
// emits itself through its generate operation, which picks the rule entry for its class and kind
// and expands it; the rule language is described in etGener.cpp.
//
// One translation at a time: the engine state (translator, output, script path, pending level
// word) is module-global while GenerateTranslation runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class eExpr;
struct Translator;

// Which global entries wrap the output: the copy pair (0, 1) or the file pair (2, 3; the copy
// pair when both are empty).
inline constexpr int32_t kPurposeCopy = 0;
inline constexpr int32_t kPurposeFile = 1;

// A translation may grow to the larger of a floor (kMaxTranslationBytes) and kTranslationGrowth
// bytes per unit of the expression's size (a node, or a byte of its text), and further by the
// encoding token when a rule writes it. No honest rule writes that much: output past it comes from
// rules that multiply it (nested repeats, the whole encoding at every node), and such a
// translation stops and fails with errTranslationTooLarge; a part is never given as if whole.
inline constexpr size_t kMaxTranslationBytes = 16u << 20;
inline constexpr size_t kTranslationGrowth = 64;
// The floor in force: kMaxTranslationBytes (tests lower it to keep their inputs small).
extern size_t TranslationFloorBytes;
// The message of a translation that passed its bound.
inline constexpr int errTranslationTooLarge = 498;
// Rule bodies nest at most this deep; deeper bodies are skipped.
inline constexpr int32_t kMaxRuleDepth = 64;

// The bytes a translation of the expression may take, the encoding token aside.
size_t TranslationBound(const eExpr* root);

// The whole expression translated for the purpose. A rule never fails the translation, but one
// whose output passes the bound fails it with errTranslationTooLarge.
std::string GenerateTranslation(const Translator& translator, const eExpr* root, int32_t purpose);
// The copy-purpose translation: what Copy As puts on the clipboard as text.
std::string TranslateExpression(const Translator& translator, const eExpr* root);

// The encoding token of an expression: "]|Expr|[B64", its encoding in base64, "]|[".
std::string EncodingTokenOf(const eExpr* root);

// "1st", "2nd", "3rd", "4th", "11th", "21st", ...
std::string EnglishOrdinal(int32_t n);

// ---- For the generate bodies of the node classes --------------------------------------------
namespace gen {
// Expands entry `code` of the active translator for the node.
void Entry(int32_t code, const eExpr* node);
// Expands the entry with `@*` bodies repeated `repeat` times (integral signs).
void EntryWithRepeat(int32_t code, const eExpr* node, int32_t repeat);
// Expands the entry with `@.` standing for an item node (tensor index, tree son).
void EntryWithItem(int32_t code, const eExpr* node, const eExpr* item);
// Expands the entry with `@.` standing for raw text (escaped by the translator's mode).
void EntryWithText(int32_t code, const eExpr* node, std::string_view text);
// The row protocol: begin, children separated by `between`, end.
void Row(const eExpr* row, int32_t begin, int32_t between, int32_t end);
void Child(const eExpr* node);
void Leaf(const eExpr* word, std::string_view text, bool asianText);
void Fence(const eExpr* fence, int32_t kind);
void Grid(const eExpr* grid);
void Tensor(const eExpr* tensor);
void Tree(const eExpr* tree);
bool Active();
} // namespace gen
