// The game's desktop icon: one SVG drawing rendered to the square sizes of an icon theme.
#pragma once
#include <array>
#include <filesystem>
#include <vector>

// The sizes of the theme's fixed-size folders the icon is rendered for.
inline constexpr std::array<int, 8> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};
// The name the desktop finds the icon by: the game's application id.
inline constexpr const char* kIconName = "org.zarovel.Zarovel";

// Draws the SVG scaled into a size x size picture (its aspect kept, centred), on a transparent
// ground with its alpha kept, and writes it to `png`. Throws std::runtime_error naming the file
// when the drawing cannot be read or drawn or the picture cannot be written.
void RenderIconPng(const std::filesystem::path& svg, int size, const std::filesystem::path& png);

// Writes out/hicolor/<N>x<N>/apps/<kIconName>.png for every N of kIconSizes and copies the
// drawing to out/hicolor/scalable/apps/<kIconName>.svg. Returns the files written.
std::vector<std::filesystem::path> BuildIcons(const std::filesystem::path& svg, const std::filesystem::path& out);
