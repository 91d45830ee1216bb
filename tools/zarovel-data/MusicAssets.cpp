// Placeholder until the tunes exist: no modules are written.
#include "DataBuild.h"

void BuildMusic(const std::filesystem::path&, const std::filesystem::path&) {}
