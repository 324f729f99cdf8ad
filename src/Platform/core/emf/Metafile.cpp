// Enhanced-metafile handles and calls: the recording DC, the finished metafiles, their bytes,
// files, enumeration and playing.

#include "plat/Metafile.h"

#include "core/emf/EmfPlayer.h"
#include "core/emf/EmfRecorder.h"
#include "core/font/Encoding.h"
#include "plat/Gdi.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace plat::core::emf {

std::string CheckHeader(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 88)
        return "too short for a header";
    const Reader r(data, size);
    if (r.u32(0) != kHeader)
        return "the first record is not a header";
    const std::uint32_t headerSize = r.u32(4);
    if (headerSize < 88 || headerSize % 4 || headerSize > size)
        return "bad header size";
    if (r.u32(40) != kSignature)
        return "no signature";
    const std::uint32_t bytes = r.u32(48);
    if (bytes < headerSize || bytes > size)
        return "the metafile is longer than its data (truncated?)";
    const std::uint32_t descChars = r.u32(60), descOffset = r.u32(64);
    if (descChars && (descOffset < 88 || descChars > headerSize ||
                      !Reader(data, headerSize).has(descOffset, 2 * std::size_t{descChars})))
        return "the description lies outside the header";
    return {};
}

std::vector<RecordSpan> WalkRecords(const std::uint8_t* data, std::size_t size) {
    std::vector<RecordSpan> spans;
    if (!CheckHeader(data, size).empty())
        return spans;
    const Reader r(data, size);
    const std::size_t limit = r.u32(48);
    spans.push_back(RecordSpan{kHeader, 0, r.u32(4)});
    std::size_t at = r.u32(4);
    while (limit - at >= 8) {
        const std::uint32_t type = r.u32(at), bytes = r.u32(at + 4);
        if (bytes < 8 || bytes % 4 || bytes > limit - at) {
            GdiDiagnostic("metafile: a record with a bad size ends the walk");
            break;
        }
        spans.push_back(RecordSpan{type, at, bytes});
        if (type == kEof)
            break;
        at += bytes;
    }
    return spans;
}

} // namespace plat::core::emf

namespace plat {

using namespace plat::core;
using namespace plat::core::emf;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct MetafileTable {
    std::map<std::uint32_t, std::shared_ptr<const Bytes>> live;
    std::uint32_t next = 1;
};

MetafileTable& metafiles() {
    static auto* t = new MetafileTable;
    return *t;
}

HENHMETAFILE addMetafile(Bytes bytes) {
    auto& t = metafiles();
    const std::uint32_t id = t.next++;
    t.live[id] = std::make_shared<const Bytes>(std::move(bytes));
    return HandleFromId<HENHMETAFILE>(id);
}

std::shared_ptr<const Bytes> lookup(HENHMETAFILE h, const char* caller) {
    auto& t = metafiles();
    auto it = t.live.find(IdFromHandle(h));
    if (it == t.live.end()) {
        GdiDiagnostic(std::string(caller) + ": unknown metafile");
        return nullptr;
    }
    return it->second;
}

// Writes beside the target and renames, so a failed write never destroys an existing file.
bool writeFile(const std::string& path, const Bytes& bytes) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// The device of a recording DC: the reference device's capabilities, and no raster surface
// (the drawing calls hand their work to the recorder instead).
class RecordingDevice : public DcDevice {
public:
    explicit RecordingDevice(HDC reference) {
        for (int i = 0; i < kCaps; ++i)
            m_caps[i] = GetDeviceCaps(reference, i);
    }
    int deviceCaps(int index) const override {
        return index >= 0 && index < kCaps ? m_caps[index] : 0;
    }
    cairo_surface_t* makeSurface() override { return nullptr; }

private:
    static constexpr int kCaps = 128;
    int m_caps[kCaps] = {};
};

RECT destinationOf(const Bytes& b, const RECT* rect) {
    if (rect)
        return *rect;
    // No rectangle: the picture at its recorded place and size.
    const Reader r(b.data(), b.size());
    const RECT bounds = r.rect(8);
    return RECT{bounds.left, bounds.top, bounds.right + 1, bounds.bottom + 1};
}

} // namespace

HDC CreateEnhMetaFile(HDC reference, const char* fileName, const RECT* frame,
                      const char* description) {
    if (reference && !LookupDc(reference, "CreateEnhMetaFile"))
        return nullptr;
    EmfRecorder::Setup setup;
    if (fileName)
        setup.fileName = fileName;
    if (frame)
        setup.frame = *frame;
    if (description) {
        for (const char* p = description; *p; ++p)
            setup.description.push_back(
                static_cast<char16_t>(fontcore::Cp1252ToUnicode(static_cast<unsigned char>(*p))));
        setup.description.push_back(u'\0');
    }
    setup.devicePixels = SIZE{GetDeviceCaps(reference, HORZRES), GetDeviceCaps(reference, VERTRES)};
    setup.deviceMillimetres =
        SIZE{GetDeviceCaps(reference, HORZSIZE), GetDeviceCaps(reference, VERTSIZE)};
    if (setup.devicePixels.cx <= 0 || setup.devicePixels.cy <= 0 ||
        setup.deviceMillimetres.cx <= 0 || setup.deviceMillimetres.cy <= 0) {
        GdiDiagnostic("CreateEnhMetaFile: the reference device has no size");
        return nullptr;
    }
    HDC hdc = AddDeviceDc(std::make_unique<RecordingDevice>(reference));
    Dc* dc = LookupDc(hdc, "CreateEnhMetaFile");
    if (!dc)
        return nullptr;
    dc->recorder = std::make_shared<EmfRecorder>(std::move(setup));
    return hdc;
}

HENHMETAFILE CloseEnhMetaFile(HDC hdc) {
    Dc* dc = LookupDc(hdc, "CloseEnhMetaFile");
    if (!dc || !dc->recorder) {
        GdiDiagnostic("CloseEnhMetaFile: not a recording DC");
        return nullptr;
    }
    std::shared_ptr<EmfRecorder> recorder = std::move(dc->recorder);
    DeleteDC(hdc);
    Bytes bytes = recorder->finish();
    if (!recorder->fileName().empty() && !writeFile(recorder->fileName(), bytes)) {
        GdiDiagnostic("CloseEnhMetaFile: the file could not be written");
        return nullptr;
    }
    return addMetafile(std::move(bytes));
}

BOOL DeleteEnhMetaFile(HENHMETAFILE emf) {
    return metafiles().live.erase(IdFromHandle(emf)) ? TRUE : FALSE;
}

HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE emf, const char* fileName) {
    auto bytes = lookup(emf, "CopyEnhMetaFile");
    if (!bytes)
        return nullptr;
    if (fileName && !writeFile(fileName, *bytes))
        return nullptr;
    return addMetafile(*bytes);
}

UINT GetEnhMetaFileBits(HENHMETAFILE emf, UINT size, BYTE* buffer) {
    auto bytes = lookup(emf, "GetEnhMetaFileBits");
    if (!bytes)
        return 0;
    if (!buffer)
        return static_cast<UINT>(bytes->size());
    if (size < bytes->size())
        return 0;
    std::copy(bytes->begin(), bytes->end(), buffer);
    return static_cast<UINT>(bytes->size());
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
    const std::string problem = CheckHeader(data, size);
    if (!problem.empty()) {
        GdiDiagnostic("SetEnhMetaFileBits: " + problem);
        return nullptr;
    }
    // Only the metafile's own bytes are kept.
    const std::uint32_t bytes = Reader(data, size).u32(48);
    return addMetafile(Bytes(data, data + bytes));
}

HENHMETAFILE GetEnhMetaFile(const char* fileName) {
    if (!fileName)
        return nullptr;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return nullptr;
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > 0xFFFFFFFFu)
        return nullptr;
    return SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
}

UINT GetEnhMetaFileHeader(HENHMETAFILE emf, UINT size, ENHMETAHEADER* header) {
    auto bytes = lookup(emf, "GetEnhMetaFileHeader");
    if (!bytes)
        return 0;
    const UINT full = sizeof(ENHMETAHEADER);
    if (!header)
        return full;
    // An older, shorter header leaves the later fields zero.
    ENHMETAHEADER h{};
    const std::size_t have =
        std::min<std::size_t>(Reader(bytes->data(), bytes->size()).u32(4), full);
    std::memcpy(&h, bytes->data(), have);
    const UINT n = std::min(size, full);
    std::memcpy(header, &h, n);
    return n;
}

BOOL EnumEnhMetaFile(HDC hdc, HENHMETAFILE emf, ENHMFENUMPROC proc, LPARAM data, const RECT* rect) {
    auto bytes = lookup(emf, "EnumEnhMetaFile");
    if (!bytes || !proc)
        return FALSE;
    const std::vector<RecordSpan> spans = WalkRecords(bytes->data(), bytes->size());
    std::unique_ptr<Player> player;
    std::vector<HGDIOBJ> none(Reader(bytes->data(), bytes->size()).u16(56) + 1u, nullptr);
    if (hdc) {
        player = std::make_unique<Player>(hdc, bytes->data(), bytes->size(),
                                          destinationOf(*bytes, rect));
        if (!player->ok())
            return FALSE;
    }
    for (const RecordSpan& span : spans) {
        if (player)
            player->play(span);
        std::vector<HGDIOBJ>& table = player ? player->table() : none;
        const auto* record = reinterpret_cast<const ENHMETARECORD*>(bytes->data() + span.offset);
        if (!proc(hdc, reinterpret_cast<HANDLETABLE*>(table.data()), record,
                  static_cast<int>(table.size()), data))
            return FALSE;
    }
    return TRUE;
}

BOOL PlayEnhMetaFile(HDC hdc, HENHMETAFILE emf, const RECT* rect) {
    auto bytes = lookup(emf, "PlayEnhMetaFile");
    if (!bytes)
        return FALSE;
    Player player(hdc, bytes->data(), bytes->size(), destinationOf(*bytes, rect));
    if (!player.ok())
        return FALSE;
    for (const RecordSpan& span : WalkRecords(bytes->data(), bytes->size()))
        player.play(span);
    return TRUE;
}

std::vector<BYTE> WinMetaFileBitsStepping(HENHMETAFILE emf, const std::function<void()>& step) {
    auto bytes = lookup(emf, "WinMetaFileBitsStepping");
    if (!bytes)
        return {};
    return EmfToWmf(bytes->data(), bytes->size(), step ? &step : nullptr);
}

std::uint64_t EnhMetaFilePlayedBytesBound(HENHMETAFILE emf) {
    auto bytes = lookup(emf, "EnhMetaFilePlayedBytesBound");
    return bytes ? PlayedBytesBound(bytes->data(), bytes->size()) : 0;
}

BOOL GdiComment(HDC hdc, UINT size, const BYTE* data) {
    Dc* dc = LookupDc(hdc, "GdiComment");
    if (!dc || !dc->recorder)
        return FALSE;
    return dc->recorder->comment(size, data);
}

} // namespace plat
