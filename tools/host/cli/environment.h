// What the tool takes from its surroundings: which bundle to load, and the
// interface language for one run.
#pragma once

#include <string>
#include <vector>

namespace orvane::host {

// Where a bundle was found and how.
struct FoundBundle {
  std::string path;
  std::string how;  // "--bundle", "VST3_PATH", "~/.vst3", ..., "the build tree"
};

// The bundle as hosts find plug-ins: `explicitPath` when given, else
// Orvane.vst3 in each folder of $VST3_PATH (colon-separated), ~/.vst3,
// /usr/local/lib/vst3, /usr/lib/vst3, and last the one this build produced.
// Throws host::Error listing the places tried when none has it.
FoundBundle findBundle(const std::string& explicitPath);
// The places findBundle looks, in order, for help texts.
std::vector<std::string> bundleSearchPath();

// Makes `code` (en, pt-BR or es) the plug-in's language for this process
// without touching the stored preference or any file: the code goes into an
// anonymous in-memory file (memfd) that ORV_LANGUAGE_FILE names through
// /proc/self/fd. Nothing is created on disk, nothing can be planted in its
// way, and it goes with the process however the process ends. Throws
// host::Error for an unknown code.
void useLanguageForThisRun(const std::string& code);

}  // namespace orvane::host
