#pragma once
// The system clipboard under its Win32 and OLE names. One store serves both sets of calls. While
// the program owns the clipboard the store answers every read; once another program has taken it
// the reads go to the display (X11: the CLIPBOARD selection, converted to and from MIME types;
// headless: the in-process store the tests fill).

#include "plat/Shell.h"
#include "plat/Types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_METAFILEPICT = 3;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_UNICODETEXT = 13;
constexpr UINT CF_ENHMETAFILE = 14;

// Win32 calls. Every one but the format registry needs the clipboard opened first.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
// Takes the clipboard for this program and drops what it held.
BOOL EmptyClipboard();
// The block becomes the clipboard's (freed on the next EmptyClipboard). CF_TEXT is cp1252 text,
// CF_DIB a packed bitmap, CF_METAFILEPICT a Windows metafile with its placeable header; other
// formats are bytes. Null on failure.
HGLOBAL SetClipboardData(UINT format, HGLOBAL data);
// CF_ENHMETAFILE: the clipboard keeps the metafile.
HENHMETAFILE SetClipboardData(UINT format, HENHMETAFILE data);
// The clipboard's block of the format (owned by the clipboard: valid until it is closed).
HGLOBAL GetClipboardData(UINT format);
// CF_ENHMETAFILE as a metafile (owned by the clipboard: valid until it is closed).
HENHMETAFILE GetClipboardEnhMetaFile();
BOOL IsClipboardFormatAvailable(UINT format);
// The format after `format` (0 starts), 0 after the last.
UINT EnumClipboardFormats(UINT format);
// Formats 0xC000 and above, names compared ignoring case; 0 for an empty or too long name.
UINT RegisterClipboardFormat(const char* name);
int GetClipboardFormatName(UINT format, char* buf, int size);

// Byte-level conveniences over the same store (the clipboard need not be opened).
bool GetClipboardBytes(UINT format, std::vector<std::uint8_t>& out);

// ---- The OLE minimum ---------------------------------------------------------------------------

// HRESULT, S_OK and E_FAIL come from the shell header, so both headers can be included together.
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064u);
constexpr HRESULT CLIPBRD_E_CANT_OPEN = static_cast<HRESULT>(0x800401D0u);

constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_MFPICT = 32;
constexpr DWORD TYMED_ENHMF = 64;

struct FORMATETC {
    UINT cfFormat = 0;
    DWORD tymed = TYMED_HGLOBAL;
};

// What GetData hands back: one of the handles by `tymed`; ReleaseStgMedium frees it.
struct STGMEDIUM {
    DWORD tymed = 0;
    HGLOBAL hGlobal = nullptr;
    HENHMETAFILE hEnhMetaFile = nullptr;
};
void ReleaseStgMedium(STGMEDIUM* medium);

// A reference-counted data object: the formats it holds and their data.
class IDataObject {
public:
    virtual ~IDataObject() = default;
    void AddRef() { ++m_refs; }
    void Release() {
        if (--m_refs == 0)
            delete this;
    }
    virtual HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) = 0;
    virtual HRESULT QueryGetData(const FORMATETC& format) = 0;
    // Every format it can give, in its order of preference.
    virtual HRESULT EnumFormatEtc(std::vector<FORMATETC>& formats) = 0;

private:
    int m_refs = 1;
};

HRESULT OleInitialize(void* reserved);
void OleUninitialize();
// Takes the clipboard with the object's formats and keeps a reference to it (null empties the
// clipboard). The formats are only named here: each one is asked of the object (GetData) the
// first time it is read, by this program or by another one, and kept from then on.
HRESULT OleSetClipboard(IDataObject* object);
// A data object over what the clipboard holds now (this program's or another's); the caller
// releases it.
HRESULT OleGetClipboard(IDataObject** object);
// Leaves the data on the system: every format the object still owes is made, and a clipboard
// manager, when one runs, takes a copy of it.
HRESULT OleFlushClipboard();
HRESULT OleIsCurrentClipboard(IDataObject* object);

// The MIME types a format is offered under (the first is the preferred one); what the display
// reads back for it is tried in the same order.
std::vector<std::string> ClipboardMimeTypes(UINT format);

} // namespace plat
