// libFuzzer target for the settings file: any bytes as the file are read (the values of its first
// section enumerate and query within their sizes, and a value set rewrites a file that reads back
// with the others unchanged), or a key that would not read back as written is refused, in which
// case nothing is written and the file stays as it was.
//
//   cmake --build build-fuzz --target kv_fuzz_registry
//   ./build-fuzz/tests/kv_fuzz_registry new-inputs/ tools/fuzz/corpus/registry/

#include "plat/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <strings.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A folder of this process's own for the settings file, removed at exit.
const fs::path& storeFolder() {
    static const fs::path folder = [] {
        std::string name = (fs::temp_directory_path() / "kv-fuzz-registry-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr)
            std::abort();
        setenv("KV_REGISTRY_DIR", name.c_str(), 1);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(storeFolder(), ec);
        });
        return fs::path(name);
    }();
    return folder;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Read {
    std::string name;
    plat::DWORD type = 0;
    std::vector<plat::BYTE> data;
    bool operator==(const Read&) const = default;
};

// Every value of the key, as RegEnumValue and RegQueryValueEx give them.
std::vector<Read> valuesOf(plat::HKEY key) {
    std::vector<Read> out;
    for (plat::DWORD i = 0;; ++i) {
        char name[512];
        plat::DWORD nameSize = sizeof name;
        plat::DWORD type = 0, size = 0;
        const plat::LONG r =
            plat::RegEnumValue(key, i, name, &nameSize, nullptr, &type, nullptr, &size);
        if (r != plat::ERROR_SUCCESS)
            break;
        // A name with a zero byte in it (kept from the file) cannot be asked for by name.
        if (std::string_view(name, nameSize).find('\0') != std::string_view::npos)
            continue;
        Read v{std::string(name, nameSize), type, std::vector<plat::BYTE>(size + 1, 0xEE)};
        plat::DWORD got = size;
        if (plat::RegQueryValueEx(key, v.name.c_str(), nullptr, &type, v.data.data(), &got) !=
                plat::ERROR_SUCCESS ||
            got > size || v.data[size] != 0xEE)
            std::abort(); // a value enumerated but not readable, or written past its size
        v.data.resize(got);
        out.push_back(std::move(v));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16))
        return 0;
    const fs::path file = storeFolder() / "registry.ini";
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << input;
    }
    // The key of the first section, as the file names it.
    std::string sub;
    plat::HKEY root = plat::HKEY_CURRENT_USER;
    if (const auto open = input.find('['); open != std::string::npos) {
        const auto close = input.find(']', open);
        const std::string path =
            input.substr(open + 1, close == std::string::npos ? 0 : close - open - 1);
        for (const auto& [prefix, key] :
             {std::pair{"HKEY_CURRENT_USER\\", plat::HKEY_CURRENT_USER},
              std::pair{"HKEY_LOCAL_MACHINE\\", plat::HKEY_LOCAL_MACHINE},
              std::pair{"HKEY_CLASSES_ROOT\\", plat::HKEY_CLASSES_ROOT}}) {
            if (path.rfind(prefix, 0) == 0) {
                root = key;
                sub = path.substr(std::string(prefix).size());
            }
        }
    }
    if (sub.empty())
        sub = "Software\\Brindlewick";
    plat::HKEY key = nullptr;
    std::vector<Read> before;
    if (plat::RegOpenKeyEx(root, sub.c_str(), 0, plat::KEY_READ, &key) == plat::ERROR_SUCCESS) {
        before = valuesOf(key);
        plat::RegCloseKey(key);
    }
    if (plat::RegCreateKeyEx(root, sub.c_str(), 0, nullptr, 0, plat::KEY_ALL_ACCESS, nullptr, &key,
                             nullptr) != plat::ERROR_SUCCESS) {
        // A file that cannot be read is never written.
        if (fileBytes(file) != input)
            std::abort();
        return 0;
    }
    const plat::DWORD one = 1;
    const plat::LONG set = plat::RegSetValueEx(key, "KvFuzzAdded", 0, plat::REG_DWORD,
                                               reinterpret_cast<const plat::BYTE*>(&one), 4);
    if (set == plat::ERROR_SUCCESS) {
        // The others read back as they were; the new one after them.
        std::vector<Read> after = valuesOf(key);
        std::erase_if(after,
                      [](const Read& v) { return strcasecmp(v.name.c_str(), "KvFuzzAdded") == 0; });
        std::erase_if(before,
                      [](const Read& v) { return strcasecmp(v.name.c_str(), "KvFuzzAdded") == 0; });
        if (after != before)
            std::abort();
    } else if (fileBytes(file) != input) {
        std::abort();
    }
    plat::RegCloseKey(key);
    return 0;
}
