#include "OverSrcs/documents/DocLines.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace {

// The encoding's own line breaks inside the "Ex" record: each further line is a comment line too.
constexpr char kEncodingLinePrefix[] = "\n%%\t";
// Window rectangles beyond this are damage, not a place on any screen.
constexpr std::int32_t kMaxWindowCoordinate = 100000;

struct ReadState {
    DocumentLines lines;
    bool encodingSeen = false;
    int encodingFailure = 0;
};

void KeepUnknownRecord(oReader& reader, void* context) {
    // A record is at most the rest of the file, which the reader has bounded already.
    constexpr std::uint32_t kWholeLine = 0xFFFFFFFFu;
    const char* prefix = reader.commented() ? "%%" : "";
    std::string record = prefix;
    record.append(reader.tag(), 2);
    record += reader.restOfLine(kWholeLine);
    std::string more;
    while (reader.continuationLine(more, kWholeLine)) {
        record += "\n";
        record += prefix;
        record += '\t';
        record += more;
    }
    static_cast<ReadState*>(context)->lines.unknownRecords.push_back(std::move(record));
}

void ReadVersion(oReader& reader, void* context) {
    static_cast<ReadState*>(context)->lines.version = reader.getNumber();
}

void ReadWindowZone(oReader& reader, void* context) {
    Zone zone;
    zone.left = reader.getNumber();
    zone.top = reader.getNumber();
    zone.right = reader.getNumber();
    zone.bottom = reader.getNumber();
    const auto inRange = [](std::int32_t v) {
        return v > -kMaxWindowCoordinate && v < kMaxWindowCoordinate;
    };
    // An empty or absurd rectangle is dropped: the window is then placed as a new one.
    if (zone.right <= zone.left || zone.bottom <= zone.top || !inRange(zone.left) ||
        !inRange(zone.top) || !inRange(zone.right) || !inRange(zone.bottom)) {
        return;
    }
    static_cast<ReadState*>(context)->lines.windowZone = zone;
}

void ReadOptions(oReader& reader, void* context) {
    std::uint8_t options[4];
    for (std::uint8_t& option : options) {
        const std::int32_t v = reader.getNumber();
        option = static_cast<std::uint8_t>(v < 0 || v > 255 ? 0 : v);
    }
    auto& lines = static_cast<ReadState*>(context)->lines;
    std::copy(std::begin(options), std::end(options), lines.options);
}

void ReadEncodingRecord(oReader& reader, void* context) {
    auto* state = static_cast<ReadState*>(context);
    if (state->lines.expression != nullptr) {
        return; // the first expression is the document's
    }
    state->encodingSeen = true;
    state->encodingFailure = errDataCorrupted;
    ExprPtr expression = ReadExprEncoding(reader.stream());
    if (expression == nullptr) {
        Fail(errDataCorrupted);
    }
    const EncodingBackground& bg = LastEncodingBackground();
    state->lines.background.color = Color{bg.red, bg.green, bg.blue, 255};
    state->lines.background.none = bg.none;
    state->lines.expression = std::move(expression);
    state->encodingFailure = 0;
}

} // namespace

void WriteDocumentLines(oOStream& stream, const eExpr* expression,
                        const DocumentBackground& background, const Zone* windowZone,
                        const std::uint8_t* options,
                        const std::vector<std::string>* unknownRecords) {
    WriteRecordTag(stream, "Ve", true);
    stream.putNumber(kDocumentLinesVersion);
    EndRecord(stream);
    if (windowZone != nullptr) {
        WriteRecordTag(stream, "Wz", true);
        stream.putNumber(windowZone->left);
        stream.putNumber(windowZone->top);
        stream.putNumber(windowZone->right);
        stream.putNumber(windowZone->bottom);
        EndRecord(stream);
    }
    if (options != nullptr) {
        WriteRecordTag(stream, "Fl", true);
        for (int i = 0; i < 4; ++i) {
            stream.putNumber(options[i]);
        }
        EndRecord(stream);
    }
    WriteRecordTag(stream, "Ex", true);
    WriteExprEncoding(&stream, expression, kEncodingLinePrefix, background.color.r,
                      background.color.g, background.color.b, background.none, true, false, false);
    EndRecord(stream);
    if (unknownRecords != nullptr) {
        for (const std::string& record : *unknownRecords) {
            stream.write(record.data(), static_cast<std::uint32_t>(record.size()));
            EndRecord(stream);
        }
    }
}

DocumentLines ReadDocumentLinesFromMemory(const void* data, std::uint32_t length,
                                          bool keepUnknown) {
    ReadState state;
    oReader reader;
    oInstallReaderHandler(reader, "Ve", ReadVersion, &state);
    oInstallReaderHandler(reader, "Wz", ReadWindowZone, &state);
    oInstallReaderHandler(reader, "Fl", ReadOptions, &state);
    oInstallReaderHandler(reader, "Ex", ReadEncodingRecord, &state);
    if (keepUnknown) {
        oInstallUnknownRecordHandler(reader, KeepUnknownRecord, &state);
    }
    reader.readMemory(data, length);
    if (state.lines.expression != nullptr) {
        return std::move(state.lines);
    }
    state.lines.unknownRecords.clear();
    if (state.encodingSeen) {
        const int code = reader.firstFailure() != 0 ? reader.firstFailure() : errDataCorrupted;
        Fail(state.encodingFailure != 0 ? code : errDataCorrupted);
    }
    // Older documents and foreign text: an encoding anywhere in it.
    const char* text = static_cast<const char*>(data);
    state.lines.expression = FindEmbeddedEncoding(text == nullptr ? "" : text, length);
    if (state.lines.expression == nullptr) {
        Fail(kNoExpressionInText);
    }
    const EncodingBackground& bg = LastEncodingBackground();
    state.lines.background.color = Color{bg.red, bg.green, bg.blue, 255};
    state.lines.background.none = bg.none;
    return std::move(state.lines);
}

DocumentLines ReadDocumentLines(oIStream& stream, bool keepUnknown) {
    const std::string data = ReadRestOfStream(stream);
    return ReadDocumentLinesFromMemory(data.data(), static_cast<std::uint32_t>(data.size()),
                                       keepUnknown);
}
