// Parameters by the names people use, in any interface language: the
// identifier number, a stable English key ("output-gain"), the English title,
// or the title the plug-in shows now; values in their units ("-3dB", "50%"),
// list entries by English or local text or a unique prefix, switches by
// on/off. Keys and English texts come from Orvane's parameter table and text
// catalog, so they are offered only when the loaded plug-in is Orvane; any
// other plug-in answers to its identifiers and current titles.
#pragma once

#include <string>
#include <vector>

#include "vsthost/plugin.h"

namespace orvane::host {

struct NamedValue {
  double normalized = 0;
  std::string key;                 // stable English key, or the index as text
  std::string display;             // as the plug-in shows it now
  std::vector<std::string> names;  // everything it answers to
};

struct NamedParameter {
  ParamDesc desc;
  std::string key;                 // "output-gain"; the identifier for other plug-ins
  std::string englishTitle;        // empty when unknown
  std::vector<std::string> names;  // everything it answers to, identifier excepted
  std::vector<NamedValue> values;  // list entries or the two states of a switch
  bool readOnly() const;
};

class ParameterNames {
 public:
  explicit ParameterNames(const Plugin& plugin);

  const std::vector<NamedParameter>& parameters() const { return params; }
  const NamedParameter* find(Steinberg::Vst::ParamID id) const;

  // The parameter a name means; throws host::Error for an unknown name (with
  // the closest ones) or an ambiguous one (with the candidates).
  const NamedParameter& resolve(const std::string& name) const;
  // A value as a person types it; throws host::Error naming what the
  // parameter takes. Read-only parameters are refused unless `meters` is set
  // (a picture of the editor shows meters the host set).
  double parse(const NamedParameter& p, const std::string& text, bool meters = false) const;

 private:
  const Plugin& plugin;
  std::vector<NamedParameter> params;
};

// The English text of a title or value the plug-in shows in any interface
// language; the text itself when the catalog does not have it.
std::string englishText(const std::string& shown);

// The English keys and titles of Orvane's parameters, in table order, for
// help texts that have no plug-in loaded.
struct KeyAndTitle {
  std::string key, title;
  bool readOnly;
};
std::vector<KeyAndTitle> orvaneParameterKeys();

}  // namespace orvane::host
