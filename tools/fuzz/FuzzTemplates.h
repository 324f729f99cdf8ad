// What the fuzz targets that build expressions share: the template classes registered once, so
// readers can make every kind of template node, and the program's picture codec.
#pragma once

#include "OverPc/PPICTEXT.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/etEncode.h"

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

// Installs the picture-text reader and writer the program uses for the pictures of opaque leaves,
// once.
inline void InstallFuzzPictureCodec() {
    static const bool installed = [] {
        SetUfoPictureCodec(&WriteUfoPicture, &ReadUfoPicture);
        return true;
    }();
    (void)installed;
}
