// The editor's face of the LV2 edition: the plug-in's control ports. Ports
// 0..9 carry parameters 0..9 in the table's plain units, converted here to and
// from the editor's normalised values; ports 10..14 carry the five meters'
// 0..1 readings. Edits go out through the host's write function (plain float,
// protocol 0), bracketed by the host's touch calls where it offers them;
// values come in through port events. Titles live in the plug-in's Turtle, so
// a language change has nothing to retitle. Main (user-interface) thread only.
#pragma once

#include <lv2/ui/ui.h>

#include <array>
#include <cstdint>

#include "editor/plugin_face.h"
#include "protocol/lv2_ports.h"

namespace orvane::lv2 {

class PortFace final : public PluginFace {
 public:
  // `touch` may be null (the host does not offer ui:touch).
  PortFace(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch);

  double value(ParamId id) const override;
  void beginEdit(ParamId id) override;
  void performEdit(ParamId id, double valueNorm) override;
  void endEdit(ParamId id) override;
  void languageChanged() override {}

  // A port event from the host: a float (protocol 0) on one of our control
  // ports. Anything else, and non-finite values, are ignored.
  void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                 const void* buffer);

 private:
  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  const LV2UI_Touch* touch;
  std::array<double, kParamPortCount> params{};
  std::array<double, kMeterPortCount> meters{};
};

}  // namespace orvane::lv2
