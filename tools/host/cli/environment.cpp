#include "environment.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "i18n/i18n.h"
#include "vsthost/module.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBundleName = "Orvane.vst3";

struct Place {
  std::string folder;
  std::string how;
};

std::vector<Place> places() {
  std::vector<Place> out;
  if (const char* list = std::getenv("VST3_PATH")) {
    std::string rest = list;
    while (!rest.empty()) {
      const auto colon = rest.find(':');
      const std::string folder = rest.substr(0, colon);
      if (!folder.empty()) out.push_back({folder, "VST3_PATH"});
      rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
  }
  if (const char* home = std::getenv("HOME"); home && *home)
    out.push_back({(fs::path(home) / ".vst3").string(), "~/.vst3"});
  out.push_back({"/usr/local/lib/vst3", "/usr/local/lib/vst3"});
  out.push_back({"/usr/lib/vst3", "/usr/lib/vst3"});
  return out;
}

}  // namespace

FoundBundle findBundle(const std::string& explicitPath) {
  if (!explicitPath.empty()) return {explicitPath, "--bundle"};
  std::error_code ec;
  for (const Place& p : places()) {
    const fs::path candidate = fs::path(p.folder) / kBundleName;
    if (fs::is_directory(candidate, ec)) return {candidate.string(), p.how};
  }
  if (fs::is_directory(ORV_BUILD_BUNDLE, ec)) return {ORV_BUILD_BUNDLE, "the build tree"};
  std::string tried;
  for (const std::string& folder : bundleSearchPath())
    tried += (tried.empty() ? "" : ", ") + folder;
  throw Error(std::string("no ") + kBundleName + " found (looked in " + tried +
              "); give one with --bundle");
}

std::vector<std::string> bundleSearchPath() {
  std::vector<std::string> out;
  for (const Place& p : places()) out.push_back(p.folder);
  out.emplace_back(ORV_BUILD_BUNDLE);
  return out;
}

void useLanguageForThisRun(const std::string& code) {
  bool known = false;
  for (const char* c : i18n::codes) known = known || code == c;
  if (!known) throw Error("--language takes en, pt-BR or es, not '" + code + "'");
  // Not close-on-exec: nothing is executed, and the plug-in opens it by name.
  const int fd = ::memfd_create("orvane-language", 0);
  if (fd < 0) throw Error("cannot hold the language for this run (memfd_create failed)");
  const std::string text = code + "\n";
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    throw Error("cannot hold the language for this run");
  }
  // The descriptor stays open for the life of the process; the plug-in opens
  // its own reading position through the name.
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  std::error_code ec;
  if (!fs::exists(name, ec)) {
    ::close(fd);
    throw Error("cannot hold the language for this run (/proc is not mounted)");
  }
  ::setenv("ORV_LANGUAGE_FILE", name.c_str(), 1);
}

}  // namespace orvane::host
