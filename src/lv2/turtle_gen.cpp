// Writes the LV2 bundle's Turtle from the parameter table and the port layout
// at build time, so that no range, default, unit or name can differ between
// the editions:
//   orvane_lv2_turtle OUT_DIR DSP_BINARY UI_BINARY MINOR MICRO
// writes OUT_DIR/manifest.ttl, Orvane.ttl (the two plug-ins) and Orvane_ui.ttl.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "lv2/plugin.h"
#include "params/parameters.h"
#include "params/port_values.h"
#include "protocol/lv2_ports.h"

namespace orvane::lv2 {
namespace {

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// A port symbol: the parameter's English key with '_', as LV2 symbols take
// no '-'.
std::string symbolOf(const char* title) {
  return keyFromTitle(title, '_');
}

// A float as a Turtle decimal that reads back as the same float.
std::string decimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  std::string s(text);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

const char* unitOf(const ParamInfo& p) {
  const std::string u = p.units;
  if (u == "%") return "units:pc";
  if (u == "Hz") return "units:hz";
  if (u == "dB") return "units:db";
  return nullptr;
}

void controlInput(std::ostream& out, std::uint32_t index, const ParamInfo& p) {
  out << "    a lv2:InputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol \"" << symbolOf(p.title) << "\" ;\n"
      << "    lv2:name \"" << p.title << "\" ;\n"
      << "    lv2:default " << decimal(portFromNormalized(p, p.defaultNorm)) << " ;\n"
      << "    lv2:minimum " << decimal(p.minPlain) << " ;\n"
      << "    lv2:maximum " << decimal(p.maxPlain);
  if (const char* unit = unitOf(p)) out << " ;\n    units:unit " << unit;
  if (!(p.flags & flags::kCanAutomate)) out << " ;\n    lv2:portProperty pprops:notAutomatic";
  if (p.kind == ParamKind::Plain && p.stepCount == 1)
    out << " ;\n    lv2:portProperty lv2:toggled, lv2:integer";
  if (p.kind == ParamKind::StringList) {
    out << " ;\n    lv2:portProperty lv2:integer, lv2:enumeration";
    for (int e = 0; e <= p.stepCount; ++e)
      out << " ;\n    lv2:scalePoint [ rdfs:label \"" << p.entries[e] << "\" ; rdf:value "
          << decimal(p.minPlain + e) << " ]";
  }
}

void controlOutput(std::ostream& out, std::uint32_t index, const ParamInfo& p) {
  out << "    a lv2:OutputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol \"" << symbolOf(p.title) << "\" ;\n"
      << "    lv2:name \"" << p.title << "\" ;\n"
      << "    lv2:minimum " << decimal(p.minPlain) << " ;\n"
      << "    lv2:maximum " << decimal(p.maxPlain);
}

void audioPort(std::ostream& out, std::uint32_t index, bool input, int channels, int c) {
  static const char* const kSides[2][2] = {{"", ""}, {"_l", "_r"}};
  static const char* const kNames[2][2] = {{"", ""}, {" L", " R"}};
  out << "    a lv2:AudioPort, " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol \"" << (input ? "in" : "out") << kSides[channels - 1][c] << "\" ;\n"
      << "    lv2:name \"" << (input ? "Input" : "Output") << kNames[channels - 1][c] << "\"";
}

void plugin(std::ostream& out, const char* uri, int channels, const char* name, int minor,
            int micro) {
  out << "<" << uri << ">\n"
      << "  a lv2:Plugin, lv2:UtilityPlugin ;\n"
      << "  doap:name \"" << name << "\" ;\n"
      << "  lv2:minorVersion " << minor << " ;\n"
      << "  lv2:microVersion " << micro << " ;\n"
      << "  lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
      << "  lv2:extensionData state:interface ;\n"
      << "  ui:ui <" << kUiUri << "> ;\n"
      << "  lv2:port [\n";
  const char* const next = "\n  ] , [\n";
  for (std::uint32_t i = 0; i < kParamPortCount; ++i) {
    controlInput(out, kFirstParamPort + i, kParams[i]);
    out << next;
  }
  for (std::uint32_t i = 0; i < kMeterPortCount; ++i) {
    controlOutput(out, kFirstMeterPort + i, kParams[kParamPortCount + i]);
    out << next;
  }
  out << "    a lv2:OutputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << kLatencyPort << " ;\n"
      << "    lv2:symbol \"latency\" ;\n"
      << "    lv2:name \"Latency\" ;\n"
      << "    lv2:designation lv2:latency ;\n"
      << "    lv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
      << "    units:unit units:frame ;\n"
      << "    lv2:minimum 0.0" << next;
  for (int c = 0; c < channels; ++c) {
    audioPort(out, audioInPort(c), true, channels, c);
    out << next;
  }
  for (int c = 0; c < channels; ++c) {
    audioPort(out, audioOutPort(channels, c), false, channels, c);
    out << (c + 1 < channels ? next : "\n  ] .\n\n");
  }
}

// The UI hears every port a face shows: the meters, the latency and each
// parameter (a host's automation moves the dials).
void uiDescription(std::ostream& out, const char* uiBinary) {
  out << "<" << kUiUri << ">\n"
      << "  a ui:X11UI ;\n"
      << "  ui:binary <" << uiBinary << "> ;\n"
      << "  lv2:requiredFeature ui:idleInterface ;\n"
      << "  lv2:optionalFeature ui:parent, ui:resize, opts:options, urid:map ;\n"
      << "  lv2:extensionData ui:idleInterface";
  for (const char* uri : {kMonoUri, kStereoUri})
    for (std::uint32_t port = 0; port <= kLatencyPort; ++port)
      out << " ;\n  ui:portNotification [ ui:plugin <" << uri << "> ; lv2:index " << port
          << " ; ui:protocol ui:floatProtocol ]";
  out << " .\n";
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file.flush());
}

}  // namespace
}  // namespace orvane::lv2

int main(int argc, char** argv) {
  using namespace orvane::lv2;
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s OUT_DIR DSP_BINARY UI_BINARY MINOR MICRO\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const char* dsp = argv[2];
  const char* ui = argv[3];
  const int minor = std::atoi(argv[4]);
  const int micro = std::atoi(argv[5]);

  std::ostringstream manifest;
  manifest << kPrefixes;
  for (const char* uri : {kMonoUri, kStereoUri})
    manifest << "<" << uri << "> a lv2:Plugin ;\n  lv2:binary <" << dsp
             << "> ;\n  rdfs:seeAlso <Orvane.ttl> .\n\n";
  manifest << "<" << kUiUri << "> a ui:X11UI ;\n  ui:binary <" << ui
           << "> ;\n  rdfs:seeAlso <Orvane_ui.ttl> .\n";

  std::ostringstream plugins;
  plugins << kPrefixes;
  plugin(plugins, kMonoUri, 1, "Orvane Mono", minor, micro);
  plugin(plugins, kStereoUri, 2, "Orvane Stereo", minor, micro);

  // The state property the plug-ins save (presets carry it too).
  plugins << "<" << kStateRecordKey << ">\n  a rdf:Property ;\n"
          << "  rdfs:label \"state record\" ;\n"
          << "  rdfs:comment \"The component state record shared with the VST 3 edition.\" .\n";

  std::ostringstream uiText;
  uiText << kPrefixes;
  uiDescription(uiText, ui);

  if (!writeFile(dir + "/manifest.ttl", manifest.str()) ||
      !writeFile(dir + "/Orvane.ttl", plugins.str()) ||
      !writeFile(dir + "/Orvane_ui.ttl", uiText.str())) {
    std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
