#pragma once
// The GDI font object: the LOGFONT it was made from and its realised font. Other core modules
// (metafile recorders, printing) reach a DC's font through FontInstanceOf.

#include "core/font/FontInstance.h"
#include "core/gdi/GdiInternal.h"
#include "plat/Font.h"

#include <memory>

namespace plat::fontcore {

class FontObject : public core::GdiObject {
public:
    FontObject(const LOGFONT& logFont, std::shared_ptr<FontInstance> instance)
        : GdiObject(core::GdiKind::Font)
        , m_logFont(logFont)
        , m_instance(std::move(instance)) {}

    // GetObject gives the LOGFONT as it was passed to CreateFontIndirect.
    int getObject(int size, void* buffer) const override;

    const LOGFONT& logFont() const { return m_logFont; }
    const std::shared_ptr<FontInstance>& instance() const { return m_instance; }

private:
    LOGFONT m_logFont;
    std::shared_ptr<FontInstance> m_instance;
};

// The realised font of a font handle; null for a handle that is not a live font.
std::shared_ptr<FontInstance> FontInstanceOf(HFONT font);
// The realised font selected into a DC (the system font when the DC has none); null for a stale
// DC.
std::shared_ptr<FontInstance> FontInstanceOfDc(HDC hdc);

} // namespace plat::fontcore
