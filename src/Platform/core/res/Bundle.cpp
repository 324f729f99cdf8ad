#include "core/res/Bundle.h"

#include <algorithm>
#include <cstring>

namespace plat::res {
namespace {

// Bounded little-endian reader; any read past the end marks the input bad and yields zeros.
class Reader {
public:
    Reader(const BYTE* p, std::size_t n)
        : m_p(p)
        , m_n(n) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_n; }

    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }

    // A length-prefixed byte run; the length is checked against what remains before anything is
    // allocated, so a corrupt count cannot ask for a huge block.
    bool bytes(std::size_t len, const BYTE*& out) {
        if (!m_ok || len > m_n - m_pos) {
            m_ok = false;
            return false;
        }
        out = m_p + m_pos;
        m_pos += len;
        return true;
    }
    bool text(std::string& out) {
        const std::uint32_t len = u32();
        const BYTE* p = nullptr;
        if (!bytes(len, p))
            return false;
        out.assign(reinterpret_cast<const char*>(p), len);
        return true;
    }
    // A count of records each at least `minSize` bytes long must fit in what remains.
    bool count(std::uint32_t n, std::size_t minSize) {
        if (!m_ok || (minSize != 0 && n > (m_n - m_pos) / minSize)) {
            m_ok = false;
            return false;
        }
        return true;
    }

private:
    std::uint64_t take(std::size_t k) {
        if (!m_ok || k > m_n - m_pos) {
            m_ok = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < k; ++i)
            v |= static_cast<std::uint64_t>(m_p[m_pos + i]) << (8 * i);
        m_pos += k;
        return v;
    }

    const BYTE* m_p;
    std::size_t m_n;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

const char* keep(Bundle& b, std::string s) {
    b.texts.push_back(std::move(s));
    return b.texts.back().c_str();
}

} // namespace

std::unique_ptr<Bundle> ParseBundle(const BYTE* bytes, std::size_t size) {
    if (size < sizeof kBundleMagic || std::memcmp(bytes, kBundleMagic, sizeof kBundleMagic) != 0)
        return nullptr;
    Reader r(bytes + sizeof kBundleMagic, size - sizeof kBundleMagic);
    auto b = std::make_unique<Bundle>();
    const std::uint32_t nStrings = r.u32();
    const std::uint32_t nData = r.u32();
    const std::uint32_t nMenus = r.u32();
    const std::uint32_t nDialogs = r.u32();

    if (!r.count(nStrings, 8))
        return nullptr;
    b->strings.reserve(nStrings);
    for (std::uint32_t i = 0; i < nStrings && r.ok(); ++i) {
        const std::uint32_t id = r.u32();
        std::string text;
        if (!r.text(text))
            return nullptr;
        const UINT len = static_cast<UINT>(text.size());
        if (!b->strings.empty() && b->strings.back().id >= id)
            return nullptr; // lookups rely on ascending, unique ids
        b->strings.push_back({id, keep(*b, std::move(text)), len});
    }

    if (!r.count(nData, 16))
        return nullptr;
    b->data.reserve(nData);
    for (std::uint32_t i = 0; i < nData && r.ok(); ++i) {
        ResData d{};
        d.type = r.u32();
        d.id = r.u32();
        std::string name;
        if (!r.text(name))
            return nullptr;
        d.name = name.empty() ? nullptr : keep(*b, std::move(name));
        const std::uint32_t len = r.u32();
        const BYTE* p = nullptr;
        if (!r.bytes(len, p))
            return nullptr;
        b->blobs.emplace_back(p, p + len);
        d.data = b->blobs.back().data();
        d.size = len;
        b->data.push_back(d);
    }

    if (!r.count(nMenus, 12))
        return nullptr;
    b->menuItems.reserve(nMenus);
    for (std::uint32_t i = 0; i < nMenus && r.ok(); ++i) {
        ResMenu m{};
        m.id = r.u32();
        std::string name;
        if (!r.text(name))
            return nullptr;
        m.name = name.empty() ? nullptr : keep(*b, std::move(name));
        const std::uint32_t n = r.u32();
        if (!r.count(n, 13))
            return nullptr;
        std::vector<ResMenuItem> items;
        items.reserve(n);
        int level = 0;
        for (std::uint32_t k = 0; k < n && r.ok(); ++k) {
            ResMenuItem it{};
            const std::uint8_t kind = r.u8();
            if (kind > static_cast<std::uint8_t>(ResMenuKind::PopupEnd))
                return nullptr;
            it.kind = static_cast<ResMenuKind>(kind);
            it.flags = r.u16();
            it.id = r.u32();
            it.code = r.u16();
            std::string text;
            if (!r.text(text))
                return nullptr;
            it.text = keep(*b, std::move(text));
            if (it.kind == ResMenuKind::PopupBegin)
                ++level;
            if (it.kind == ResMenuKind::PopupEnd && --level < 0)
                return nullptr;
            items.push_back(it);
        }
        if (level != 0)
            return nullptr; // an unclosed submenu would send the menu manager past the end
        b->menuItems.push_back(std::move(items));
        m.items = b->menuItems.back().data();
        m.count = static_cast<UINT>(b->menuItems.back().size());
        b->menus.push_back(m);
    }

    if (!r.count(nDialogs, 28))
        return nullptr;
    b->dialogControls.reserve(nDialogs);
    for (std::uint32_t i = 0; i < nDialogs && r.ok(); ++i) {
        ResDialog d{};
        d.id = r.u32();
        d.style = r.u32();
        d.exStyle = r.u32();
        d.x = r.i16();
        d.y = r.i16();
        d.cx = r.i16();
        d.cy = r.i16();
        std::string caption;
        if (!r.text(caption))
            return nullptr;
        d.caption = keep(*b, std::move(caption));
        const std::uint32_t n = r.u32();
        if (!r.count(n, 28))
            return nullptr;
        std::vector<ResDialogControl> controls;
        controls.reserve(n);
        for (std::uint32_t k = 0; k < n && r.ok(); ++k) {
            ResDialogControl c{};
            std::string cls, text;
            if (!r.text(cls))
                return nullptr;
            c.className = keep(*b, std::move(cls));
            c.id = r.u32();
            if (!r.text(text))
                return nullptr;
            c.text = keep(*b, std::move(text));
            c.x = r.i16();
            c.y = r.i16();
            c.cx = r.i16();
            c.cy = r.i16();
            c.style = r.u32();
            c.exStyle = r.u32();
            controls.push_back(c);
        }
        b->dialogControls.push_back(std::move(controls));
        d.controls = b->dialogControls.back().data();
        d.count = static_cast<UINT>(b->dialogControls.back().size());
        b->dialogs.push_back(d);
    }

    if (!r.ok() || !r.atEnd())
        return nullptr;
    b->tables.strings = b->strings.data();
    b->tables.stringCount = b->strings.size();
    b->tables.data = b->data.data();
    b->tables.dataCount = b->data.size();
    b->tables.menus = b->menus.data();
    b->tables.menuCount = b->menus.size();
    b->tables.dialogs = b->dialogs.data();
    b->tables.dialogCount = b->dialogs.size();
    return b;
}

} // namespace plat::res
