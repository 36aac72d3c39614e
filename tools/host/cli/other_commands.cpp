// orvane-host info, state, render and demo.
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "demo.h"
#include "editor_render.h"
#include "editor_show.h"
#include "environment.h"
#include "files/files.h"
#include "lv2_preset.h"
#include "params/parameters.h"
#include "settings.h"
#include "text.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

std::string flagNames(int value) {
  std::string s;
  const std::pair<int, const char*> names[] = {{flags::kCanAutomate, "automate"},
                                               {flags::kIsReadOnly, "read-only"},
                                               {flags::kIsList, "list"},
                                               {flags::kIsBypass, "bypass"}};
  for (const auto& [bit, name] : names)
    if (value & bit) s += (s.empty() ? "" : ",") + std::string(name);
  return s.empty() ? "-" : s;
}

// Rows printed with each column as wide as its widest cell, by displayed width.
void printTable(const std::vector<std::vector<std::string>>& rows, const char* indent) {
  std::vector<int> widths;
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (widths.size() <= c) widths.push_back(0);
      widths[c] = std::max(widths[c], displayWidth(row[c]));
    }
  for (const auto& row : rows) {
    std::string line = indent;
    for (std::size_t c = 0; c < row.size(); ++c)
      line += c + 1 < row.size() ? padded(row[c], widths[c] + 2) : row[c];
    std::printf("%s\n", line.c_str());
  }
}

void printClasses(const Module& module) {
  std::vector<std::vector<std::string>> rows;
  for (const ClassEntry& c : module.classes())
    rows.push_back({uidString(c.cid), c.category, c.name,
                    c.subCategories.empty() ? "-" : c.subCategories, c.version});
  printTable(rows, "  ");
}

void printParameters(const ParameterNames& names) {
  std::vector<std::vector<std::string>> rows{
      {"id", "key", "title", "units", "default", "flags", "values"}};
  for (const NamedParameter& p : names.parameters()) {
    std::string values;
    for (const NamedValue& v : p.values) values += (values.empty() ? "" : " ") + v.key;
    rows.push_back({std::to_string(p.desc.id), p.key, p.desc.title,
                    p.desc.units.empty() ? "-" : p.desc.units, p.desc.defaultText,
                    flagNames(p.desc.flags), values.empty() ? "-" : values});
  }
  printTable(rows, "  ");
}

void printLatencies(Plugin& plugin, const ParameterNames& names, const Options& o) {
  plugin.setup(o.rate, 2, o.block);
  std::printf("\nlatency at %g Hz\n", o.rate);
  const NamedParameter* mode = names.find(ProcessingMode);
  if (!mode || mode->key != "processing-mode") {
    std::printf("  %d samples\n", plugin.latency());
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const NamedValue& v : mode->values) {
    plugin.setParameter(mode->desc.id, v.normalized);
    rows.push_back({v.display, std::to_string(plugin.latency()) + " samples"});
  }
  printTable(rows, "  ");
}

}  // namespace

int infoCommand(const Options& o) {
  if (!o.positional.empty()) usageError("info takes no file", o.command);
  const FoundBundle bundle = findBundle(o.bundle);
  Module module(bundle.path);
  const auto factory = module.factoryInfo();
  std::printf("bundle   %s (found through %s)\nmodule   %s\nvendor   %s\n\nclasses\n",
              bundle.path.c_str(), bundle.how.c_str(), module.sharedObject().c_str(),
              factory.vendor);
  printClasses(module);
  Plugin plugin(module);
  std::printf("\nbuses\n");
  std::vector<std::vector<std::string>> rows;
  for (const BusDesc& b : plugin.buses())
    rows.push_back(
        {b.input ? "input" : "output", b.name, std::to_string(b.channels) + " channels"});
  printTable(rows, "  ");
  const ParameterNames names(plugin);
  std::printf("\nparameters (by id, key, English or local title)\n");
  printParameters(names);
  printLatencies(plugin, names, o);
  return 0;
}

int stateCommand(const Options& o) {
  const bool toLv2 = o.positional.size() == 3 && o.positional[0] == "lv2";
  if (!toLv2 &&
      (o.positional.size() != 2 || (o.positional[0] != "save" && o.positional[0] != "load")))
    usageError("state takes save FILE, load FILE or lv2 FILE BUNDLE.lv2", o.command);
  const std::string& file = o.positional[1];
  Module module(findBundle(o.bundle).path);
  Plugin plugin(module);
  const ParameterNames names(plugin);
  const Settings settings = resolveSettings(names, o);
  if (o.positional[0] == "save") {
    settings.applyTo(plugin);
    plugin.flush();
    const auto bytes = plugin.saveState();
    if (!files::writeFileAtomically(file, bytes)) throw Error("cannot write " + file);
    std::printf("wrote %zu bytes to %s\n", bytes.size(), file.c_str());
    return 0;
  }
  const auto bytes = files::readFile(file, std::size_t(1) << 20);
  if (!bytes) throw Error("cannot read the state file " + file);
  plugin.loadState(*bytes);
  settings.applyTo(plugin);
  if (toLv2) {
    // The record as the component answers it: checked, and in the newest version.
    plugin.flush();
    const std::filesystem::path bundle = o.positional[2];
    writeLv2Preset(bundle.string(), bundle.stem().string(), plugin.saveState());
    std::printf("wrote the LV2 preset \"%s\" into %s\n", bundle.stem().c_str(), bundle.c_str());
    return 0;
  }
  std::vector<std::vector<std::string>> rows;
  for (const NamedParameter& p : names.parameters()) {
    if (p.readOnly()) continue;  // meters are not part of a state
    const double v = plugin.parameter(p.desc.id);
    char normalized[32];
    std::snprintf(normalized, sizeof normalized, "%.6f", v);
    rows.push_back(
        {std::to_string(p.desc.id), p.key, p.desc.title,
         plugin.valueText(p.desc.id, v) + (p.desc.units.empty() ? "" : " " + p.desc.units),
         normalized});
  }
  printTable(rows, "  ");
  return 0;
}

int renderCommand(const Options& o) {
  if (o.positional.size() != 1) usageError("render takes OUT.png", o.command);
  const std::string& out = o.positional[0];
  if (fs::path(out).extension() != ".png") usageError("render writes a .png file", o.command);
  Module module(findBundle(o.bundle).path);
  Plugin plugin(module);
  const ParameterNames names(plugin);
  // Meters reach a controller from the audio component through the host; for
  // a picture the host sets them itself.
  resolveSettings(names, o, true).applyTo(plugin);
  renderEditor(plugin, out, {o.face == "advanced", o.scale});
  std::printf("wrote %s\n", out.c_str());
  return 0;
}

int showCommand(const Options& o) {
  if (!o.positional.empty()) usageError("show takes no file", o.command);
  if (!o.screenshot.empty() && fs::path(o.screenshot).extension() != ".png")
    usageError("--screenshot writes a .png file", o.command);
  Module module(findBundle(o.bundle).path);
  Plugin plugin(module);
  const ParameterNames names(plugin);
  resolveSettings(names, o).applyTo(plugin);
  showEditor(plugin, {o.face == "advanced", o.scale, o.screenshot, o.seconds});
  return 0;
}

int demoCommand(const Options& o) {
  if (o.positional.size() > 1) usageError("demo takes at most one folder", o.command);
  return runDemo(findBundle(o.bundle).path, o.positional.empty() ? "demo-output" : o.positional[0]);
}

}  // namespace orvane::host
