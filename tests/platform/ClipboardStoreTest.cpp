// The clipboard store with a data object handed over by OleSetClipboard: its formats are named at
// once and each is asked of the object only when something reads it, once; the flush at shut-down
// makes the rest, so that what the object gave stays readable after it is gone.
#include "backend/Backend.h"
#include "plat/Clipboard.h"
#include "plat/Memory.h"
#include "plat/Testing.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using namespace plat;

namespace {

// A data object whose formats are counted as they are asked for; some cannot be given.
class CountingObject final : public IDataObject {
public:
    CountingObject(std::map<UINT, std::string> data, std::vector<UINT> failing, bool* released)
        : m_data(std::move(data))
        , m_failing(std::move(failing))
        , m_released(released) {}
    ~CountingObject() override { *m_released = true; }
    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override {
        ++asked[format.cfFormat];
        *medium = STGMEDIUM{};
        auto it = m_data.find(format.cfFormat);
        if (it == m_data.end())
            return E_FAIL;
        HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, it->second.size());
        std::memcpy(GlobalLock(g), it->second.data(), it->second.size());
        GlobalUnlock(g);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = g;
        return S_OK;
    }
    HRESULT QueryGetData(const FORMATETC& format) override {
        return m_data.count(format.cfFormat) != 0 ? S_OK : S_FALSE;
    }
    HRESULT EnumFormatEtc(std::vector<FORMATETC>& formats) override {
        formats.clear();
        for (const auto& item : m_data)
            formats.push_back(FORMATETC{item.first, TYMED_HGLOBAL});
        for (const UINT f : m_failing)
            formats.push_back(FORMATETC{f, TYMED_HGLOBAL});
        return S_OK;
    }
    std::map<UINT, int> asked;

private:
    std::map<UINT, std::string> m_data;
    std::vector<UINT> m_failing;
    bool* m_released;
};

std::string read(const std::string& type) {
    std::vector<std::uint8_t> bytes;
    if (!backend().clipboardRead(type, bytes))
        return "<none>";
    return std::string(bytes.begin(), bytes.end());
}

TEST(ClipboardStoreTest, AnObjectsFormatsAreMadeWhenReadOnceEachAndAllAtTheFlush) {
    const UINT png = RegisterClipboardFormat("PNG");
    const UINT failing = RegisterClipboardFormat("Store Test Failing");
    const std::string picture(200 * 1024, 'p'); // more than one X request holds
    for (const bool flushFirst : {false, true}) {
        SCOPED_TRACE(flushFirst);
        plat::testing::reset();
        bool released = false;
        auto* object = new CountingObject({{CF_TEXT, std::string("x+1") + '\0'}, {png, picture}},
                                          {failing}, &released);
        ASSERT_EQ(S_OK, OleSetClipboard(object));
        object->Release();
        // Named, not made.
        const std::vector<std::string> types = backend().clipboardTypes();
        for (const char* t : {"UTF8_STRING", "text/plain;charset=utf-8", "image/png",
                              "application/x-kv-Store-Test-Failing"})
            EXPECT_NE(std::find(types.begin(), types.end(), t), types.end()) << t;
        EXPECT_TRUE(object->asked.empty());
        ASSERT_FALSE(released);

        if (flushFirst) {
            // Every format is made once, and the object let go.
            ASSERT_EQ(S_OK, OleFlushClipboard());
            EXPECT_TRUE(released);
        } else {
            EXPECT_EQ("x+1", read("UTF8_STRING"));
            EXPECT_EQ("x+1", read("text/plain;charset=utf-8"));
            EXPECT_EQ(1, object->asked[CF_TEXT]);
            EXPECT_EQ(picture, read("image/png"));
            EXPECT_EQ("<none>", read("application/x-kv-Store-Test-Failing"));
            EXPECT_EQ("<none>", read("application/x-kv-Store-Test-Failing"));
            // This program's own reads take the same bytes.
            std::vector<std::uint8_t> own;
            EXPECT_TRUE(GetClipboardBytes(png, own));
            EXPECT_EQ(picture.size(), own.size());
            EXPECT_EQ(1, object->asked[png]);
            EXPECT_EQ(1, object->asked[failing]);
            ASSERT_EQ(S_OK, OleFlushClipboard());
            EXPECT_TRUE(released);
        }
        // After the flush, what the object gave is still there; nothing is made twice.
        EXPECT_EQ("x+1", read("UTF8_STRING"));
        EXPECT_EQ(picture, read("image/png"));
        EXPECT_EQ("<none>", read("application/x-kv-Store-Test-Failing"));
    }
}

// A later copy replaces the object: a target of the earlier one is no longer made from it.
TEST(ClipboardStoreTest, ALaterCopyReplacesTheObjectBeforeItsFormatsAreMade) {
    plat::testing::reset();
    bool firstReleased = false, secondReleased = false;
    auto* first = new CountingObject({{CF_TEXT, std::string("a") + '\0'}}, {}, &firstReleased);
    ASSERT_EQ(S_OK, OleSetClipboard(first));
    first->Release();
    auto* second = new CountingObject({{CF_TEXT, std::string("b") + '\0'}}, {}, &secondReleased);
    ASSERT_EQ(S_OK, OleSetClipboard(second));
    EXPECT_TRUE(firstReleased);
    EXPECT_EQ("b", read("UTF8_STRING"));
    EXPECT_EQ(1, second->asked[CF_TEXT]);
    second->Release();
    ASSERT_EQ(S_OK, OleSetClipboard(nullptr));
    EXPECT_TRUE(secondReleased);
}

} // namespace
