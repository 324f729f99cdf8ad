// What the fuzz targets that build expressions share: the template classes registered once, so
// readers can make every kind of template node.
#pragma once

#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSSScript.h"

// Registers fractions, fences, scripts, integrals and marks on the first call; later calls do
// nothing.
inline void RegisterFuzzTemplates() {
    static const bool registered = [] {
        RegisterFractionTemplates();
        RegisterFenceTemplates();
        RegisterScriptTemplates();
        RegisterIntegralTemplates();
        RegisterMarkTemplates();
        return true;
    }();
    (void)registered;
}
