// The clipboard store behind the Win32 and OLE clipboard calls. What this program puts there is
// kept as bytes per format and offered at once to the display under the MIME types of each format.
// The formats of a data object handed over by OleSetClipboard are only named at first: each one
// is asked of the object the first time something reads it (another program's paste, this
// program's own paste, or the flush at shut-down), so that a costly picture is made only when it
// is wanted. What another program holds is read from the display on demand and converted back.

#include "plat/Clipboard.h"

#include "backend/Backend.h"
#include "core/win/WinInternal.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Memory.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace plat {

namespace {

constexpr UINT kFirstRegistered = 0xC000;
constexpr size_t kBmpFileHeader = 14;

struct Store {
    bool open = false;
    bool changed = false;
    // This program's data, by format; offered to the display when the clipboard closes.
    std::map<UINT, std::vector<std::uint8_t>> data;
    // Formats of `current` named but not asked of it yet (their data is made on request).
    std::set<UINT> delayed;
    // Counts the clipboard's contents: a request made for older contents is not answered.
    std::uint64_t generation = 0;
    // Handles handed out by the Get calls, freed when the clipboard closes or changes.
    std::vector<HGLOBAL> handedBlocks;
    std::vector<HENHMETAFILE> handedMetafiles;
    std::vector<std::string> names; // registered formats from 0xC000
    IDataObject* current = nullptr; // the object of the last OleSetClipboard
};

Store& store() {
    static Store s;
    return s;
}

void freeHanded() {
    Store& s = store();
    for (HGLOBAL g : s.handedBlocks)
        GlobalFree(g);
    for (HENHMETAFILE m : s.handedMetafiles)
        DeleteEnhMetaFile(m);
    s.handedBlocks.clear();
    s.handedMetafiles.clear();
}

std::string formatName(UINT format) {
    const Store& s = store();
    if (format >= kFirstRegistered && format - kFirstRegistered < s.names.size())
        return s.names[format - kFirstRegistered];
    return {};
}

void putLE32(std::vector<std::uint8_t>& out, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getLE32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A packed bitmap as a bitmap file: the 14-byte file header in front, with the offset of the
// pixel bits worked out from the info header and its colour table.
std::vector<std::uint8_t> bmpFileOfDib(const std::vector<std::uint8_t>& dib) {
    std::vector<std::uint8_t> out(kBmpFileHeader + dib.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    putLE32(out, 2, static_cast<std::uint32_t>(kBmpFileHeader + dib.size()));
    std::uint32_t bitsAt = 40;
    if (dib.size() >= 40) {
        const std::uint32_t headerSize = getLE32(dib.data());
        const unsigned bitCount = dib[14] | (dib[15] << 8);
        const std::uint32_t compression = getLE32(dib.data() + 16);
        std::uint32_t colours = getLE32(dib.data() + 32);
        if (colours == 0 && bitCount <= 8)
            colours = 1u << bitCount;
        bitsAt = headerSize + colours * 4 + (compression == 3 && headerSize == 40 ? 12 : 0);
    }
    putLE32(out, 10, static_cast<std::uint32_t>(kBmpFileHeader + bitsAt));
    std::copy(dib.begin(), dib.end(), out.begin() + kBmpFileHeader);
    return out;
}

// What the display offers for a format, from this program's bytes.
std::vector<std::uint8_t> offeredBytes(UINT format, const std::vector<std::uint8_t>& bytes) {
    if (format == CF_TEXT) {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        const std::string utf8 = Utf8FromAnsiText(std::string(bytes.begin(), end));
        return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
    }
    if (format == CF_DIB)
        return bmpFileOfDib(bytes);
    return bytes;
}

// This program's bytes of a format from what another program offered under `type`.
bool acceptedBytes(UINT format, const std::string& type, std::vector<std::uint8_t>& bytes) {
    if (format == CF_TEXT) {
        // Copied whole, not byte by byte: pasted text runs to megabytes.
        std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (type == "STRING") {
            std::string utf8;
            for (unsigned char c : text) {
                if (c < 0x80) {
                    utf8 += static_cast<char>(c);
                } else {
                    utf8 += static_cast<char>(0xC0 | (c >> 6));
                    utf8 += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            text = utf8;
        }
        const std::string cp = AnsiTextFromUtf8(text);
        const auto* first = reinterpret_cast<const std::uint8_t*>(cp.data());
        bytes.assign(first, first + cp.size());
        bytes.push_back(0);
        return true;
    }
    if (format == CF_DIB) {
        if (bytes.size() < kBmpFileHeader + 40 || bytes[0] != 'B' || bytes[1] != 'M')
            return false;
        bytes.erase(bytes.begin(), bytes.begin() + kBmpFileHeader);
        return true;
    }
    return true;
}

bool ownedByUs() {
    return backend().clipboardOwned();
}

// Makes a delayed format's data: the current data object is asked for it once; a format it
// cannot give is dropped.
void renderDelayed(UINT format) {
    Store& s = store();
    if (s.delayed.erase(format) == 0 || s.current == nullptr)
        return;
    IDataObject* object = s.current;
    object->AddRef();
    STGMEDIUM medium;
    std::vector<std::uint8_t> bytes;
    const FORMATETC f{format, format == CF_ENHMETAFILE ? TYMED_ENHMF : TYMED_HGLOBAL};
    if (object->GetData(f, &medium) == S_OK) {
        if (medium.tymed == TYMED_ENHMF && medium.hEnhMetaFile != nullptr) {
            const UINT size = GetEnhMetaFileBits(medium.hEnhMetaFile, 0, nullptr);
            bytes.resize(size);
            if (size != 0)
                GetEnhMetaFileBits(medium.hEnhMetaFile, size, bytes.data());
        } else if (medium.hGlobal != nullptr) {
            const void* p = GlobalLock(medium.hGlobal);
            if (p != nullptr) {
                const auto* b = static_cast<const std::uint8_t*>(p);
                bytes.assign(b, b + GlobalSize(medium.hGlobal));
                GlobalUnlock(medium.hGlobal);
            }
        }
        ReleaseStgMedium(&medium);
    }
    // The object may have been replaced meanwhile (a copy made while rendering): then the data
    // belongs to contents that are gone.
    if (s.current == object && !bytes.empty())
        s.data[format] = std::move(bytes);
    object->Release();
}

// The data of one of this program's formats, made first when it is delayed; null when there is
// none.
const std::vector<std::uint8_t>* ownFormat(UINT format) {
    Store& s = store();
    renderDelayed(format);
    auto it = s.data.find(format);
    return it != s.data.end() ? &it->second : nullptr;
}

// The bytes of a format: this program's while it owns the clipboard, else the display's.
bool readFormat(UINT format, std::vector<std::uint8_t>& out) {
    if (ownedByUs()) {
        const std::vector<std::uint8_t>* bytes = ownFormat(format);
        if (bytes == nullptr)
            return false;
        out = *bytes;
        return true;
    }
    const std::vector<std::string> offered = backend().clipboardTypes();
    std::vector<std::string> wanted = ClipboardMimeTypes(format);
    if (format == CF_TEXT)
        wanted.push_back("STRING");
    for (const std::string& type : wanted) {
        if (std::find(offered.begin(), offered.end(), type) == offered.end())
            continue;
        std::vector<std::uint8_t> bytes;
        if (backend().clipboardRead(type, bytes) && acceptedBytes(format, type, bytes)) {
            out = std::move(bytes);
            return true;
        }
    }
    return false;
}

// Every format this program holds now, in order (delayed ones too).
std::vector<UINT> ownFormats() {
    const Store& s = store();
    std::set<UINT> all(s.delayed);
    for (const auto& item : s.data)
        all.insert(item.first);
    return std::vector<UINT>(all.begin(), all.end());
}

// Offers this program's data to the display; a delayed format is made when the display asks.
// The types of one format share one rendering.
void publish() {
    Store& s = store();
    std::vector<ClipboardItem> items;
    for (const UINT format : ownFormats()) {
        ClipboardItem item;
        if (s.delayed.count(format) != 0) {
            const std::uint64_t generation = s.generation;
            auto made = std::make_shared<SharedBytes>();
            item.render = [format, generation, made]() -> SharedBytes {
                if (*made)
                    return *made;
                if (store().generation != generation)
                    return nullptr;
                const std::vector<std::uint8_t>* bytes = ownFormat(format);
                if (bytes == nullptr)
                    return nullptr;
                *made =
                    std::make_shared<const std::vector<std::uint8_t>>(offeredBytes(format, *bytes));
                return *made;
            };
        } else {
            item.made = std::make_shared<const std::vector<std::uint8_t>>(
                offeredBytes(format, s.data[format]));
        }
        for (const std::string& type : ClipboardMimeTypes(format)) {
            item.type = type;
            items.push_back(item);
        }
    }
    backend().clipboardOffer(std::move(items));
}

// The data object OleGetClipboard hands out: it reads through the store at each request.
class ClipboardDataObject final : public IDataObject {
public:
    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override {
        if (medium == nullptr)
            return E_FAIL;
        *medium = STGMEDIUM{};
        std::vector<std::uint8_t> bytes;
        if (!readFormat(format.cfFormat, bytes))
            return DV_E_FORMATETC;
        if (format.cfFormat == CF_ENHMETAFILE && (format.tymed & TYMED_ENHMF)) {
            HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
            if (m == nullptr)
                return DV_E_FORMATETC;
            medium->tymed = TYMED_ENHMF;
            medium->hEnhMetaFile = m;
            return S_OK;
        }
        HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (g == nullptr)
            return E_FAIL;
        // An empty format still gets a block of its own, with nothing to copy into it.
        void* block = GlobalLock(g);
        if (!bytes.empty())
            std::memcpy(block, bytes.data(), bytes.size());
        GlobalUnlock(g);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = g;
        return S_OK;
    }
    HRESULT QueryGetData(const FORMATETC& format) override {
        OpenClipboard(nullptr);
        const BOOL ok = IsClipboardFormatAvailable(format.cfFormat);
        CloseClipboard();
        return ok ? S_OK : S_FALSE;
    }
    HRESULT EnumFormatEtc(std::vector<FORMATETC>& formats) override {
        formats.clear();
        OpenClipboard(nullptr);
        for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f))
            formats.push_back(FORMATETC{f, f == CF_ENHMETAFILE ? TYMED_ENHMF : TYMED_HGLOBAL});
        CloseClipboard();
        return S_OK;
    }
};

// Every format the clipboard holds now, in order.
std::vector<UINT> availableFormats() {
    Store& s = store();
    std::vector<UINT> formats;
    if (ownedByUs())
        return ownFormats();
    const std::vector<std::string> offered = backend().clipboardTypes();
    auto has = [&](const std::string& type) {
        return std::find(offered.begin(), offered.end(), type) != offered.end();
    };
    auto consider = [&](UINT format) {
        std::vector<std::string> types = ClipboardMimeTypes(format);
        if (format == CF_TEXT)
            types.push_back("STRING");
        if (std::any_of(types.begin(), types.end(), has))
            formats.push_back(format);
    };
    for (UINT f : {CF_TEXT, CF_METAFILEPICT, CF_DIB, CF_ENHMETAFILE})
        consider(f);
    for (size_t i = 0; i < s.names.size(); ++i)
        consider(kFirstRegistered + static_cast<UINT>(i));
    return formats;
}

} // namespace

std::vector<std::string> ClipboardMimeTypes(UINT format) {
    switch (format) {
    case CF_TEXT:
        return {"UTF8_STRING", "text/plain;charset=utf-8"};
    case CF_DIB:
        return {"image/bmp"};
    case CF_ENHMETAFILE:
        return {"image/emf", "image/x-emf"};
    case CF_METAFILEPICT:
        return {"image/wmf", "image/x-wmf"};
    default:
        break;
    }
    const std::string name = formatName(format);
    if (name.empty())
        return {};
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "rich text format")
        return {"text/rtf", "application/rtf"};
    if (lower == "encapsulated postscript")
        return {"application/postscript", "image/x-eps"};
    if (lower == "png")
        return {"image/png"};
    std::string mime = "application/x-kv-";
    for (char c : name)
        mime += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    return {mime};
}

BOOL OpenClipboard(HWND) {
    Store& s = store();
    if (s.open)
        return FALSE;
    s.open = true;
    s.changed = false;
    return TRUE;
}

BOOL CloseClipboard() {
    Store& s = store();
    if (!s.open)
        return FALSE;
    s.open = false;
    freeHanded();
    if (s.changed)
        publish();
    s.changed = false;
    return TRUE;
}

BOOL EmptyClipboard() {
    Store& s = store();
    if (!s.open)
        return FALSE;
    s.data.clear();
    s.delayed.clear();
    ++s.generation;
    if (s.current != nullptr) {
        s.current->Release();
        s.current = nullptr;
    }
    s.changed = true;
    return TRUE;
}

HGLOBAL SetClipboardData(UINT format, HGLOBAL data) {
    Store& s = store();
    if (!s.open || format == 0 || data == nullptr)
        return nullptr;
    const void* p = GlobalLock(data);
    if (p == nullptr)
        return nullptr;
    const std::uint8_t* b = static_cast<const std::uint8_t*>(p);
    s.data[format].assign(b, b + GlobalSize(data));
    s.delayed.erase(format);
    GlobalUnlock(data);
    GlobalFree(data);
    s.changed = true;
    return data;
}

HENHMETAFILE SetClipboardData(UINT format, HENHMETAFILE data) {
    Store& s = store();
    if (!s.open || format != CF_ENHMETAFILE || data == nullptr)
        return nullptr;
    const UINT size = GetEnhMetaFileBits(data, 0, nullptr);
    if (size == 0)
        return nullptr;
    std::vector<std::uint8_t>& bytes = s.data[format];
    s.delayed.erase(format);
    bytes.resize(size);
    GetEnhMetaFileBits(data, size, bytes.data());
    DeleteEnhMetaFile(data);
    s.changed = true;
    return data;
}

HGLOBAL GetClipboardData(UINT format) {
    Store& s = store();
    if (!s.open)
        return nullptr;
    std::vector<std::uint8_t> bytes;
    if (!readFormat(format, bytes))
        return nullptr;
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (g == nullptr)
        return nullptr;
    std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
    GlobalUnlock(g);
    s.handedBlocks.push_back(g);
    return g;
}

HENHMETAFILE GetClipboardEnhMetaFile() {
    Store& s = store();
    std::vector<std::uint8_t> bytes;
    if (!s.open || !readFormat(CF_ENHMETAFILE, bytes))
        return nullptr;
    HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    if (m != nullptr)
        s.handedMetafiles.push_back(m);
    return m;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    const std::vector<UINT> formats = availableFormats();
    return std::find(formats.begin(), formats.end(), format) != formats.end() ? TRUE : FALSE;
}

UINT EnumClipboardFormats(UINT format) {
    if (!store().open)
        return 0;
    const std::vector<UINT> formats = availableFormats();
    if (format == 0)
        return formats.empty() ? 0 : formats.front();
    auto it = std::find(formats.begin(), formats.end(), format);
    if (it == formats.end() || ++it == formats.end())
        return 0;
    return *it;
}

UINT RegisterClipboardFormat(const char* name) {
    if (name == nullptr || name[0] == '\0' || std::strlen(name) > 255)
        return 0;
    Store& s = store();
    for (size_t i = 0; i < s.names.size(); ++i) {
        if (SameTextNoCaseCp1252(s.names[i], name))
            return kFirstRegistered + static_cast<UINT>(i);
    }
    s.names.emplace_back(name);
    return kFirstRegistered + static_cast<UINT>(s.names.size() - 1);
}

int GetClipboardFormatName(UINT format, char* buf, int size) {
    const std::string name = formatName(format);
    if (name.empty() || buf == nullptr || size <= 0)
        return 0;
    const int n = std::min(static_cast<int>(name.size()), size - 1);
    std::memcpy(buf, name.data(), static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

bool GetClipboardBytes(UINT format, std::vector<std::uint8_t>& out) {
    return readFormat(format, out);
}

void ReleaseStgMedium(STGMEDIUM* medium) {
    if (medium == nullptr)
        return;
    if (medium->hGlobal != nullptr)
        GlobalFree(medium->hGlobal);
    if (medium->hEnhMetaFile != nullptr)
        DeleteEnhMetaFile(medium->hEnhMetaFile);
    *medium = STGMEDIUM{};
}

HRESULT OleInitialize(void*) {
    return S_OK;
}

void OleUninitialize() {}

HRESULT OleSetClipboard(IDataObject* object) {
    if (!OpenClipboard(nullptr))
        return CLIPBRD_E_CANT_OPEN;
    EmptyClipboard();
    Store& s = store();
    if (object != nullptr) {
        // The formats are named now and asked of the object when they are read.
        std::vector<FORMATETC> formats;
        object->EnumFormatEtc(formats);
        for (const FORMATETC& f : formats) {
            if (f.cfFormat != 0)
                s.delayed.insert(f.cfFormat);
        }
        object->AddRef();
        s.current = object;
    }
    s.changed = true;
    CloseClipboard();
    return S_OK;
}

HRESULT OleGetClipboard(IDataObject** object) {
    if (object == nullptr)
        return E_FAIL;
    *object = new ClipboardDataObject();
    return S_OK;
}

HRESULT OleFlushClipboard() {
    Store& s = store();
    // The object goes away: every format it still owes is made now, for a clipboard manager.
    if (ownedByUs()) {
        const std::set<UINT> owed = s.delayed;
        for (const UINT format : owed)
            renderDelayed(format);
    }
    s.delayed.clear();
    if (s.current != nullptr) {
        s.current->Release();
        s.current = nullptr;
    }
    backend().clipboardFlush();
    return S_OK;
}

HRESULT OleIsCurrentClipboard(IDataObject* object) {
    const Store& s = store();
    return object != nullptr && s.current == object && backend().clipboardOwned() ? S_OK : S_FALSE;
}

} // namespace plat
