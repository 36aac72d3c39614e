#include "names.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "i18n/i18n.h"
#include "params/parameters.h"
#include "protocol/ids.h"
#include "text.h"

namespace orvane::host {

using Steinberg::Vst::ParamID;

namespace {

const ParamInfo* tableEntry(ParamID id) {
  for (const ParamInfo& p : kParams)
    if (p.id == id) return &p;
  return nullptr;
}

// The English text of something the plug-in shows, found through the catalog
// in whichever language it is shown; empty when the catalog has no such text.
std::string englishFor(const std::string& shown) {
  for (const auto& texts : i18n::catalog)
    for (const i18n::Text& t : texts)
      if (shown == t.utf8) return texts[0].utf8;
  return {};
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string describe(const NamedParameter& p) {
  return p.key + " (\"" + p.desc.title + "\")";
}

std::string describe(const NamedValue& v) {
  return v.key == v.display ? v.key : v.key + " (\"" + v.display + "\")";
}

// Which of `items` a typed name means: an exact match of a folded name first,
// else a match at a word start; several of either kind is ambiguous.
template <typename Item>
std::vector<const Item*> matching(const std::vector<Item>& items, const std::string& typed) {
  const std::string query = folded(typed);
  std::vector<const Item*> exact, prefix;
  for (const Item& item : items) {
    bool isExact = false, isPrefix = false;
    for (const std::string& name : item.names) {
      isExact = isExact || folded(name) == query;
      isPrefix = isPrefix || matchesAtWordStart(query, name);
    }
    if (isExact) exact.push_back(&item);
    if (isPrefix) prefix.push_back(&item);
  }
  return exact.empty() ? prefix : exact;
}

template <typename Item>
std::string listed(const std::vector<const Item*>& items, const char* last) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += i + 1 == items.size() ? last : ", ";
    out += describe(*items[i]);
  }
  return out;
}

std::vector<NamedValue> switchValues(const Plugin& plugin, ParamID id) {
  NamedValue off{0.0, "off", plugin.valueText(id, 0.0), {"off", "false", "no", "0"}};
  NamedValue on{1.0, "on", plugin.valueText(id, 1.0), {"on", "true", "yes", "1"}};
  off.names.push_back(off.display);
  on.names.push_back(on.display);
  return {off, on};
}

std::vector<NamedValue> listValues(const Plugin& plugin, const ParamDesc& d,
                                   const ParamInfo* info) {
  std::vector<NamedValue> values;
  for (int e = 0; e <= d.stepCount; ++e) {
    NamedValue v;
    v.normalized = d.stepCount ? double(e) / d.stepCount : 0.0;
    v.display = plugin.valueText(d.id, v.normalized);
    v.key = std::to_string(e);
    v.names = {v.display, v.key};
    if (info && e < static_cast<int>(info->entries.size()) && info->entries[e]) {
      v.key = keyFromTitle(info->entries[e]);
      v.names.push_back(v.key);
      v.names.emplace_back(info->entries[e]);
    }
    if (const std::string english = englishFor(v.display); !english.empty())
      v.names.push_back(english);
    values.push_back(std::move(v));
  }
  return values;
}

}  // namespace

std::string englishText(const std::string& shown) {
  const std::string english = englishFor(shown);
  return english.empty() ? shown : english;
}

bool NamedParameter::readOnly() const {
  return (desc.flags & flags::kIsReadOnly) != 0;
}

ParameterNames::ParameterNames(const Plugin& loaded) : plugin(loaded) {
  const bool knowsTable = plugin.controllerClass() == ControllerID;
  for (const ParamDesc& d : plugin.parameters()) {
    NamedParameter p;
    p.desc = d;
    const ParamInfo* info = knowsTable ? tableEntry(d.id) : nullptr;
    if (info) {
      p.key = keyFromTitle(info->title);
      p.englishTitle = i18n::catalog[info->key][0].utf8;
      p.names = {p.key, p.englishTitle, info->title};
    } else {
      p.key = std::to_string(d.id);
    }
    p.names.push_back(d.title);
    if (d.flags & flags::kIsList) p.values = listValues(plugin, d, info);
    // "--mode live" has always meant Neural Live; the same word works
    // wherever a mode is named, where it would otherwise also fit Live DSP.
    if (info && d.id == ProcessingMode && !p.values.empty())
      p.values[0].names.emplace_back("live");
    else if (d.stepCount == 1)
      p.values = switchValues(plugin, d.id);
    params.push_back(std::move(p));
  }
}

const NamedParameter* ParameterNames::find(ParamID id) const {
  for (const NamedParameter& p : params)
    if (p.desc.id == id) return &p;
  return nullptr;
}

const NamedParameter& ParameterNames::resolve(const std::string& typed) const {
  const std::string name = trimmed(typed);
  if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
    const NamedParameter* p = find(static_cast<ParamID>(std::strtoul(name.c_str(), nullptr, 10)));
    if (!p) throw Error("unknown parameter identifier " + name + " (orvane-host info lists them)");
    return *p;
  }
  const auto found = matching(params, name);
  if (found.size() == 1) return *found[0];
  if (found.size() > 1) throw Error("'" + name + "' could mean " + listed(found, " or "));
  // The closest names, by edit distance of the folded texts.
  std::vector<std::pair<int, const NamedParameter*>> ranked;
  const std::string query = folded(name);
  for (const NamedParameter& p : params) {
    int best = 1 << 30;
    for (const std::string& n : p.names) best = std::min(best, editDistance(query, folded(n)));
    ranked.emplace_back(best, &p);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<const NamedParameter*> closest;
  for (std::size_t i = 0; i < ranked.size() && i < 3; ++i) closest.push_back(ranked[i].second);
  throw Error("unknown parameter '" + name + "'; the closest are " + listed(closest, " and ") +
              " (orvane-host info lists them all)");
}

double ParameterNames::parse(const NamedParameter& p, const std::string& typed, bool meters) const {
  const std::string text = trimmed(typed);
  const std::string& title = p.desc.title;
  if (p.readOnly() && !meters) throw Error("'" + title + "' is a meter: it cannot be set");
  if (!p.values.empty()) {
    const auto found = matching(p.values, text);
    if (found.size() == 1) return found[0]->normalized;
    if (found.size() > 1)
      throw Error("'" + text + "' could mean " + listed(found, " or ") + " for '" + title + "'");
    std::vector<const NamedValue*> all;
    for (const NamedValue& v : p.values) all.push_back(&v);
    throw Error("'" + title + "' takes " + listed(all, " or ") + ", not '" + text + "'");
  }
  char* end = nullptr;
  const double plain = std::strtod(text.c_str(), &end);
  const std::string unit = end ? trimmed(end) : text;
  if (text.empty() || end == text.c_str() || !std::isfinite(plain) ||
      (!unit.empty() && !sameCaseless(unit, p.desc.units)))
    throw Error("'" + text + "' is not a value for '" + title + "' (a number" +
                (p.desc.units.empty() ? std::string() : " in " + p.desc.units) + ")");
  auto* controller = plugin.controller();
  const double lo = controller->normalizedParamToPlain(p.desc.id, 0.0);
  const double hi = controller->normalizedParamToPlain(p.desc.id, 1.0);
  if (plain < std::min(lo, hi) - 1e-9 || plain > std::max(lo, hi) + 1e-9) {
    char range[128];
    std::snprintf(range, sizeof range, "%g to %g%s%s", lo, hi, p.desc.units.empty() ? "" : " ",
                  p.desc.units.c_str());
    throw Error("'" + title + "' takes " + range + ", not " + text);
  }
  return std::clamp(controller->plainParamToNormalized(p.desc.id, plain), 0.0, 1.0);
}

std::vector<KeyAndTitle> orvaneParameterKeys() {
  std::vector<KeyAndTitle> out;
  for (const ParamInfo& p : kParams)
    out.push_back(
        {keyFromTitle(p.title), i18n::catalog[p.key][0].utf8, (p.flags & flags::kIsReadOnly) != 0});
  return out;
}

}  // namespace orvane::host
