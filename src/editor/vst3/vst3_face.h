// The editor's face of the VST 3 edition: the edit controller's normalised
// values and the host's edit gestures (beginEdit, setParamNormalized,
// performEdit, endEdit), and a language change retitles the parameters the
// host lists. Holds a counted reference on the controller while it lives.
// Main (user-interface) thread only.
#pragma once

#include "controller/controller.h"
#include "editor/plugin_face.h"

namespace orvane {

class Vst3Face final : public PluginFace {
 public:
  explicit Vst3Face(Controller* controller);
  ~Vst3Face() override;
  Vst3Face(const Vst3Face&) = delete;
  Vst3Face& operator=(const Vst3Face&) = delete;

  double value(ParamId id) const override;
  void beginEdit(ParamId id) override;
  // The controller stores the value first, so the editor reads it back at
  // once, then the host is told.
  void performEdit(ParamId id, double valueNorm) override;
  void endEdit(ParamId id) override;
  void languageChanged() override;

 private:
  Controller* controller;
};

}  // namespace orvane
