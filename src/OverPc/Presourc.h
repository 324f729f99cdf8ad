#pragma once
// Resource strings through a small cache, and raw data resources.
//
// Portable code may include this header: it names no platform type.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Creates the string cache (start-up) and frees it (shut-down). LoadResString creates it on first
// use when start-up has not.
void InitStringCache();
void FreeStringCache();

// The text of string `id` of the resource module, or null when the string table has none. The text
// stays valid and unchanged for the whole run (until FreeStringCache).
const char* LoadResString(int id);

// The text of string `id` with the words in place of its "%s", in order; empty when the table has
// no such string. The text may come from a resource library, so it is never used as a format.
std::string ResStringWith(int id, std::initializer_list<std::string_view> words);

// One RCDATA resource of the resource module, found, loaded and locked. A missing resource gives a
// null pointer and size 0 (and logs "NullResourceLoad").
class ResourceData {
public:
    ResourceData() = default;
    explicit ResourceData(int id);
    static ResourceData fromName(const char* name);

    const std::uint8_t* data() const { return m_data; }
    std::uint32_t size() const { return m_size; }
    bool found() const { return m_data != nullptr; }

    // Lets the resource go; the data pointer is null and the size 0 afterwards.
    void release();

private:
    const std::uint8_t* m_data = nullptr;
    std::uint32_t m_size = 0;
    const void* m_resource = nullptr; // the module's resource handle
};

// Logs that a resource load found nothing.
void NullResourceLoad();
