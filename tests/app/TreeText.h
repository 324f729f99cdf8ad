#pragma once
// A document's tree as text, for tests that compare what the user's actions built: rows in [ ],
// items split by |, words as their text, the hidden characters as <code>, and the other nodes as
// their kind with their children in { }.

#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eWord.h"

#include <string>

namespace kvtest {

inline std::string TreeText(const eExpr* node) {
    if (node == nullptr)
        return "null";
    if (const auto* word = dynamic_cast<const eWord*>(node))
        return std::string(word->view());
    if (const auto* pseudo = dynamic_cast<const ePseudo*>(node))
        return std::string("<") + static_cast<char>(pseudo->m_code) + ">";
    std::string text;
    if (dynamic_cast<const eFraction*>(node) != nullptr)
        text = "frac";
    else if (dynamic_cast<const eRoot*>(node) != nullptr)
        text = "root";
    else if (dynamic_cast<const eMatrix*>(node) != nullptr)
        text = "matrix";
    else if (dynamic_cast<const eSSScript*>(node) != nullptr)
        text = "scripts";
    else if (dynamic_cast<const eFence*>(node) != nullptr)
        text = "fence";
    text += node->isString() ? "[" : "{";
    for (int32_t i = 0; i < node->childCount(); ++i) {
        if (i > 0)
            text += "|";
        text += TreeText(node->getChild(i));
    }
    return text + (node->isString() ? "]" : "}");
}

} // namespace kvtest
