#include "support/Golden.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace kvtest {

namespace {

std::string goldenPath(const std::string& name) {
    return std::string(KV_SOURCE_DIR) + "/tests/golden/" + name + ".png";
}

std::string actualPath(const std::string& name) {
    return std::string(KV_BINARY_DIR) + "/golden-actual/" + name + ".png";
}

std::uint32_t pixelAt(cairo_surface_t* s, int x, int y) {
    const auto* row = cairo_image_surface_get_data(s) +
                      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
}

} // namespace

bool SavePng(cairo_surface_t* surface, const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* LoadPng(const std::string& path) {
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(png);
        return nullptr;
    }
    // Normalise to RGB24 so that the comparison sees colours only.
    const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(out);
    cairo_set_source_surface(cr, png, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(png);
    cairo_surface_flush(out);
    return out;
}

::testing::AssertionResult MatchesGolden(cairo_surface_t* surface, const std::string& name) {
    const char* update = std::getenv("KV_UPDATE_GOLDEN");
    if (update && *update == '1') {
        if (!SavePng(surface, goldenPath(name)))
            return ::testing::AssertionFailure() << "cannot write " << goldenPath(name);
        return ::testing::AssertionSuccess();
    }
    cairo_surface_t* ref = LoadPng(goldenPath(name));
    if (!ref) {
        SavePng(surface, actualPath(name));
        return ::testing::AssertionFailure() << "missing reference " << goldenPath(name)
                                             << "; actual image written to " << actualPath(name);
    }
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface),
              h = cairo_image_surface_get_height(surface);
    std::ostringstream why;
    if (w != cairo_image_surface_get_width(ref) || h != cairo_image_surface_get_height(ref)) {
        why << "size " << w << "x" << h << " differs from the reference's "
            << cairo_image_surface_get_width(ref) << "x" << cairo_image_surface_get_height(ref);
    } else {
        long differing = 0;
        int fx = -1, fy = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (pixelAt(surface, x, y) != pixelAt(ref, x, y)) {
                    if (differing++ == 0) {
                        fx = x;
                        fy = y;
                    }
                }
        if (differing)
            why << differing << " pixels differ, first at (" << fx << ", " << fy << ")";
    }
    cairo_surface_destroy(ref);
    if (why.str().empty())
        return ::testing::AssertionSuccess();
    SavePng(surface, actualPath(name));
    return ::testing::AssertionFailure()
           << name << ": " << why.str() << "; actual image written to " << actualPath(name);
}

} // namespace kvtest
