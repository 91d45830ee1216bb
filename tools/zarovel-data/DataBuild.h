// zarovel-data: builds the game's five data files from the editable sources in assets/.
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

// A source that cannot be turned into data; the message names the file and line.
struct AssetError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// assets/images/menu -> Data/MData.dxg, assets/images/game -> Data/GData.dxg.
void BuildImages(const std::filesystem::path& assets, const std::filesystem::path& out);
// assets/sounds -> Sound/GSnd.dxg.
void BuildSounds(const std::filesystem::path& assets, const std::filesystem::path& out);
// assets/music -> Sound/1.xm, Sound/2.xm.
void BuildMusic(const std::filesystem::path& assets, const std::filesystem::path& out);
