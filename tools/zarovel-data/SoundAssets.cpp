// Placeholder until the sound recipes exist: an archive with no sounds.
#include "DataBuild.h"
#include "engine/SoundArchiveWriter.h"

void BuildSounds(const std::filesystem::path&, const std::filesystem::path& out) {
  SaveSoundArchive((out / "Sound" / "GSnd.dxg").string(), {});
}
