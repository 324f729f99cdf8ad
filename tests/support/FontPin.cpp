#include "support/FontPin.h"

#include "core/font/FontCatalogue.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace kvtest {

namespace {

// FIPS 180-4 SHA-256, enough for checksumming test inputs.
class Sha256 {
public:
    void update(const unsigned char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            m_block[m_used++] = data[i];
            if (m_used == 64) {
                compress();
                m_used = 0;
            }
        }
        m_bits += static_cast<std::uint64_t>(size) * 8;
    }

    std::string hex() {
        const std::uint64_t bits = m_bits;
        const unsigned char one = 0x80;
        update(&one, 1);
        const unsigned char zero = 0;
        while (m_used != 56) {
            update(&zero, 1);
        }
        for (int i = 7; i >= 0; --i) {
            const auto b = static_cast<unsigned char>(bits >> (i * 8));
            update(&b, 1);
        }
        std::ostringstream out;
        for (std::uint32_t h : m_h) {
            char buf[9];
            std::snprintf(buf, sizeof buf, "%08x", h);
            out << buf;
        }
        return out.str();
    }

private:
    static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

    void compress() {
        static constexpr std::uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
            0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
            0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
            0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
            0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
            0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
            0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
            0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
            0xc67178f2};
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = (std::uint32_t{m_block[i * 4]} << 24) |
                   (std::uint32_t{m_block[i * 4 + 1]} << 16) |
                   (std::uint32_t{m_block[i * 4 + 2]} << 8) | std::uint32_t{m_block[i * 4 + 3]};
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4], f = m_h[5],
                      g = m_h[6], h = m_h[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
            const std::uint32_t ch = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + ch + k[i] + w[i];
            const std::uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
            const std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            const std::uint32_t t2 = s0 + maj;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        m_h[0] += a;
        m_h[1] += b;
        m_h[2] += c;
        m_h[3] += d;
        m_h[4] += e;
        m_h[5] += f;
        m_h[6] += g;
        m_h[7] += h;
    }

    std::array<std::uint32_t, 8> m_h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, 64> m_block{};
    std::size_t m_used = 0;
    std::uint64_t m_bits = 0;
};

} // namespace

std::string FontPinProblems(const std::string& pinFile) {
    std::ifstream in(pinFile);
    if (!in) {
        return "cannot read " + pinFile + "\n";
    }
    std::map<std::string, std::string> pinned;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto space = line.find("  ");
        if (space != 64) {
            return "malformed line in " + pinFile + ": " + line + "\n";
        }
        pinned[line.substr(66)] = line.substr(0, 64);
    }
    std::string problems;
    for (const auto& [path, hash] : pinned) {
        const std::string actual = Sha256OfFile(path);
        if (actual.empty()) {
            problems += "pinned font file missing: " + path + "\n";
        } else if (actual != hash) {
            problems += "pinned font file changed: " + path + " (SHA-256 " + actual + ", pinned " +
                        hash + ")\n";
        }
    }
    for (const std::string& path : plat::fontcore::FontCatalogue::fileList()) {
        if (pinned.find(path) == pinned.end()) {
            problems += "font file not pinned in FONTS.sha256: " + path + "\n";
        }
    }
    for (const std::string& path : plat::fontcore::FontCatalogue::get().missingFiles()) {
        problems += "font catalogue could not load: " + path + "\n";
    }
    return problems;
}

std::string Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    Sha256 sha;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize n = in.gcount();
        if (n > 0) {
            sha.update(reinterpret_cast<const unsigned char*>(buffer.data()),
                       static_cast<std::size_t>(n));
        }
    }
    return sha.hex();
}

const std::string& PinnedFontProblems() {
    static const std::string problems =
        FontPinProblems(std::string(KV_SOURCE_DIR) + "/tests/golden/FONTS.sha256");
    return problems;
}

void FontPin::SetUp() {
    ASSERT_TRUE(PinnedFontProblems().empty()) << "Fonts are not the pinned ones:\n"
                                              << PinnedFontProblems();
}

} // namespace kvtest
