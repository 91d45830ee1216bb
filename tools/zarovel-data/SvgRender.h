// Renders an SVG drawing into a colour-keyed picture.
#pragma once
#include <filesystem>

#include "engine/Surface.h"

// The colour transparent pixels get; art that happens to use it exactly is moved one step.
constexpr uint32_t kKeyColour = RGB(255, 0, 255);
// The same key as an archive stores it (0x00BBGGRR).
constexpr uint32_t kKeyColourBGR = 0xFF00FF;

// Draws the SVG at its own size. Pixels at least half covered become opaque in their
// own colour (no blending towards the key, so no fringe of it shows); the rest become the
// key colour. With `opaque`, everything is composed over black instead. References to
// other files (<image href="...">) are taken relative to `base`, the root of the images,
// so any drawing may show another one (the help pages show the game's pictures).
Surface RenderSvg(const std::filesystem::path& file, const std::filesystem::path& base, bool opaque);
