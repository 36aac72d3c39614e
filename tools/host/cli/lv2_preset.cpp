// Writing a component state as an LV2 preset bundle.
#include "lv2_preset.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "files/files.h"
#include "lv2/plugin.h"
#include "names.h"
#include "params/port_values.h"
#include "protocol/lv2_ports.h"
#include "protocol/state_codec.h"
#include "vsthost/module.h"

namespace orvane::host {

namespace {

std::string turtleString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void write(const std::filesystem::path& path, const std::string& text) {
  if (!files::writeFileAtomically(path.string(),
                                  std::vector<std::uint8_t>(text.begin(), text.end())))
    throw Error("cannot write " + path.string());
}

}  // namespace

void writeLv2Preset(const std::string& bundle, const std::string& label,
                    const std::vector<std::uint8_t>& record) {
  StateRecord values;
  if (!decodeStateRecord(record.data(), record.size(), values))
    throw Error("the state is not a component state record");
  std::error_code error;
  std::filesystem::create_directories(bundle, error);
  if (error) throw Error("cannot make the folder " + bundle + ": " + error.message());

  const std::string prefixes =
      "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
      "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
      "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
      "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";
  const std::string appliesTo =
      std::string("lv2:appliesTo <") + lv2::kMonoUri + ">, <" + lv2::kStereoUri + "> ;\n";
  write(std::filesystem::path(bundle) / "manifest.ttl",
        prefixes + "<preset.ttl> a pset:Preset ;\n  " + appliesTo +
            "  rdfs:seeAlso <preset.ttl> .\n");

  std::ostringstream preset;
  preset << prefixes << "<> a pset:Preset ;\n  " << appliesTo << "  rdfs:label "
         << turtleString(label) << " ;\n  lv2:port";
  const auto keys = orvaneParameterKeys();
  for (int id = 0; id < static_cast<int>(lv2::kParamPortCount); ++id) {
    std::string symbol = keys[id].key;
    std::replace(symbol.begin(), symbol.end(), '-', '_');
    const double norm = id < kEngineParamCount ? values.params[id]
                        : values.hasMode       ? values.modeNorm
                                               : modeToNormalized(kDefaultMode);
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", portFromNormalized(kParams[id], norm));
    std::string value = text;  // a decimal, so that hosts read a float
    if (value.find_first_of(".e") == std::string::npos) value += ".0";
    preset << (id ? " ,\n" : "\n") << "    [ lv2:symbol \"" << symbol << "\" ; pset:value " << value
           << " ]";
  }
  const std::unique_ptr<gchar, decltype(&g_free)> base64(
      g_base64_encode(record.data(), record.size()), g_free);
  preset << " ;\n  state:state [ <" << lv2::kStateRecordKey << "> \"" << base64.get()
         << "\"^^xsd:base64Binary ] .\n";
  write(std::filesystem::path(bundle) / "preset.ttl", preset.str());
}

}  // namespace orvane::host
