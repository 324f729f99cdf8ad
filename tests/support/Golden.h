#pragma once
// Reference-image checks for pixel tests. References live in tests/golden/<name>.png and are
// compared exactly. On a mismatch the actual image is written to
// <build folder>/golden-actual/<name>.png for review.
//
// To regenerate references (only in the pinned environment, after reviewing the change):
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_platform_tests --gtest_filter='*Golden*'
// which writes the actual images over the references instead of comparing.

#include <cairo.h>
#include <gtest/gtest.h>
#include <string>

namespace kvtest {

// `name` is relative to tests/golden, without ".png", e.g. "gdi/shapes".
::testing::AssertionResult MatchesGolden(cairo_surface_t* surface, const std::string& name);

// Writes an RGB24 or ARGB32 image surface as PNG; false on failure.
bool SavePng(cairo_surface_t* surface, const std::string& path);

// Reads a PNG as an RGB24 image surface; null when missing or unreadable. The caller destroys it.
cairo_surface_t* LoadPng(const std::string& path);

} // namespace kvtest
