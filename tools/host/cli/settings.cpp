#include "settings.h"

#include <cmath>
#include <cstdlib>

#include "files/files.h"

namespace orvane::host {

namespace {

TimedChange timedChange(const ParameterNames& names, const std::string& spec,
                        const std::string& command) {
  const auto colon = spec.find(':');
  const auto eq = colon == std::string::npos ? std::string::npos : spec.find('=', colon);
  if (eq == std::string::npos) usageError("--at takes WHEN:NAME=VALUE, not " + spec, command);
  std::string when = spec.substr(0, colon);
  TimedChange change;
  change.inSeconds = !when.empty() && when.back() == 's';
  if (change.inSeconds) when.pop_back();
  char* end = nullptr;
  const double v = std::strtod(when.c_str(), &end);
  if (when.empty() || *end != 0 || !std::isfinite(v) || v < 0)
    usageError("--at needs a time of 0 or more (samples, or seconds with an s): " + spec, command);
  if (!change.inSeconds && v != std::floor(v))
    usageError("--at sample positions are whole numbers: " + spec, command);
  change.seconds = v;
  change.frame = static_cast<std::int64_t>(v);
  const NamedParameter& p = names.resolve(spec.substr(colon + 1, eq - colon - 1));
  change.id = p.desc.id;
  change.normalized = names.parse(p, spec.substr(eq + 1));
  return change;
}

}  // namespace

void Settings::applyTo(Plugin& plugin) const {
  if (!state.empty()) plugin.loadState(state);
  for (const auto& [id, value] : values) plugin.setParameter(id, value);
}

std::vector<Automation> Settings::automation(double sampleRate) const {
  std::vector<Automation> out;
  for (const TimedChange& c : changes)
    out.push_back(
        {c.inSeconds ? std::llround(c.seconds * sampleRate) : c.frame, c.id, c.normalized});
  return out;
}

Settings resolveSettings(const ParameterNames& names, const Options& o, bool meters) {
  Settings s;
  if (!o.stateFile.empty()) {
    // States are tens of bytes; the limit only keeps a wrong path (a disk
    // image, a device) from being read whole.
    auto bytes = files::readFile(o.stateFile, std::size_t(1) << 20);
    if (!bytes) throw Error("cannot read the state file " + o.stateFile);
    if (bytes->empty()) throw Error(o.stateFile + " is empty, not a saved state");
    s.state = std::move(*bytes);
  }
  auto set = [&](const std::string& name, const std::string& value) {
    const NamedParameter& p = names.resolve(name);
    s.values.emplace_back(p.desc.id, names.parse(p, value, meters));
  };
  if (!o.mode.empty()) set("processing-mode", o.mode);
  if (!o.profile.empty()) set("cleanup-profile", o.profile);
  for (const auto& [name, value] : o.sets) set(name, value);
  for (const std::string& spec : o.at) s.changes.push_back(timedChange(names, spec, o.command));
  return s;
}

}  // namespace orvane::host
