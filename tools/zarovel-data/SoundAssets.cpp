// The sound archive from the recipes in assets/sounds (*.snd, in file-name order).
#include "DataBuild.h"
#include "Recipe.h"
#include "engine/SoundArchiveWriter.h"

void BuildSounds(const std::filesystem::path& assets, const std::filesystem::path& out) {
  std::vector<TSoundArchiveEntry> entries;
  for (const auto& file : FilesIn(assets / "sounds", ".snd")) {
    const Recipe recipe = ReadRecipe(file);
    if (recipe.LoopCycles != 0 || !recipe.Envelope.empty())
      throw AssetError(file.string() + ": loop and envelope are for instruments, not sounds");
    const std::vector<int16_t> samples = RenderRecipe(recipe);
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {  // little-endian 16-bit PCM
      bytes[2 * i] = uint8_t(uint16_t(samples[i]) & 0xFF);
      bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    TSoundArchiveEntry entry;
    entry.Name = recipe.Name;
    entry.Looped = recipe.Looped;
    entry.MaxPlayingCount = recipe.MaxPlayingCount;
    entry.Wave = MakePcmWave(1, recipe.Rate, 16, std::move(bytes));
    entries.push_back(std::move(entry));
  }
  SaveSoundArchive((out / "Sound" / "GSnd.dxg").string(), entries);
}
