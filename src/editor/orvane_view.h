// The whole editor surface: a fixed 760 x 480 view with two faces, the main
// face around the large "Voice cleanup" dial and the advanced panel with the
// seven sliders, the clean-up profile, A/B comparison, preset files and reset.
// Every control is built once, at a fixed place, and kept.
//
// It sees the plug-in only through its PluginFace: reads are normalised
// values, writes are complete edit gestures (beginEdit, performEdit, endEdit).
// A 60 Hz timer on the main run loop brings the controls in line with the
// plug-in while the window is visible, writing to a control only when what it
// shows differs. Main (user-interface) thread only.
#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "editor/orvane_dial.h"
#include "editor/plugin_face.h"
#include "editor/styled_controls.h"
#include "editor/toolkit/controls.h"
#include "editor/toolkit/modal.h"
#include "editor/toolkit/run_loop.h"
#include "i18n/i18n.h"
#include "params/parameters.h"

namespace orvane {

class OrvaneView : public tk::View, public tk::Target {
  struct Passkey {};

 public:
  static constexpr double kWidth = 760;
  static constexpr double kHeight = 480;
  static constexpr double kRefreshInterval = 1.0 / 60.0;
  static constexpr int kSliderCount = 7;
  // Parameters 0..9: everything a user can set, and what A/B, reset and
  // preset files cover.
  static constexpr int kWritableCount = 10;

  // Builds both faces, keeps the plug-in's face, starts the refresh timer,
  // applies the current language and refreshes once. Null without a face.
  // Throws knob::MaterialError when the dial's embedded material is broken.
  static std::shared_ptr<OrvaneView> create(std::shared_ptr<PluginFace> plugin);

  OrvaneView(Passkey, std::shared_ptr<PluginFace> plugin);
  ~OrvaneView() override;

  // Dispatches the controls' actions by name.
  void performAction(std::string_view action, tk::Control* sender) override;

  // ---- faces and language
  void toggleAdvanced();
  // Puts every text in the current language, reselects the pop-ups from the
  // plug-in's values and tells the plug-in the language changed.
  void applyLanguage();
  // Stores the language chosen in the language pop-up and applies it.
  void languageChanged();

  // ---- parameter actions (each write is one complete edit gesture)
  void beginDial();
  void endDial();
  // The dial's and the sliders' action. During a dial drag only the value is
  // sent; the drag's beginDial/endDial bracket it.
  void changed(tk::Control* sender);
  void modeChanged();
  void processingChanged();
  void bypass();
  // Every writable parameter to its default; the A/B slot stays as it is.
  void reset();
  // Swaps the live settings with the stored A/B slot.
  void compare();
  // Ask for a file through the window's modal interface; the answer may come
  // later, from the run loop, and is dropped when the view has gone by then.
  void savePreset();
  void openPreset();
  // A modal alert "Orvane" with the key's text and one OK button.
  void showError(i18n::Key key);

  // Follows the plug-in; does nothing while the view is hidden (in no
  // window, or in one that is not visible).
  void refresh();
  // Invalidates the refresh timer; the host view adapter calls it before
  // taking the view out of its parent. Harmless twice.
  void stop();

  // ---- what the view holds, for the host adapter and for tests
  const std::shared_ptr<PluginFace>& plugin() const { return _plugin; }
  bool isAdvanced() const { return _advanced; }
  bool isSideB() const { return _sideB; }
  const std::array<double, kWritableCount>& alternate() const { return _alternate; }
  bool hasTimer() const { return _timer != nullptr; }
  int appliedLanguage() const { return _appliedLanguage; }
  OrvaneDial& dial() const { return *_dial; }
  tk::Slider& slider(int i) const { return *_sliders[std::size_t(i)]; }
  tk::Label& valueLabel(int i) const { return *_values[std::size_t(i)]; }
  tk::Label& nameLabel(int i) const { return *_labels[std::size_t(i)]; }
  tk::Label& subtitle() const { return *_subtitle; }
  tk::Label& meters() const { return *_meters; }
  OrvanePopup& profilePopup() const { return *_mode; }
  OrvanePopup& processingPopup() const { return *_processing; }
  OrvanePopup& languagePopup() const { return *_language; }
  OrvaneButton& bypassButton() const { return *_bypass; }
  OrvaneButton& settingsButton() const { return *_settings; }
  OrvaneButton& compareButton() const { return *_compare; }
  OrvaneButton& saveButton() const { return *_save; }
  OrvaneButton& openButton() const { return *_open; }
  OrvaneButton& resetButton() const { return *_reset; }
  const std::vector<std::shared_ptr<tk::View>>& advancedViews() const { return _advancedViews; }

 private:
  std::shared_ptr<tk::Label> label(const std::string& text, tk::Rect frame, double size);
  std::shared_ptr<OrvaneButton> button(const std::string& title, double x, double width,
                                       const char* action);
  std::shared_ptr<OrvanePopup> popup(tk::Rect frame, const char* action);
  // Construction, in the order that decides the advanced panel's members:
  // the header (logo, name, subtitle, the two top pop-ups), the advanced
  // panel's controls, the panel's membership, then the main face's dial, face
  // switch and meters, which belong to no panel.
  void buildHeader();
  void buildAdvancedPanel();
  void collectAdvancedPanel();
  void buildMainFace();
  // What reset writes and the A/B slot starts with: the defaults of
  // parameters 0..9.
  static std::array<double, kWritableCount> defaultValues();
  void startTimer();
  std::weak_ptr<OrvaneView> weakSelf();
  void saveChosen(const tk::PanelAnswer& answer);
  void openChosen(const tk::PanelAnswer& answer);
  double value(ParamId id) const;
  // beginEdit, performEdit, endEdit.
  void edit(ParamId id, double v);

  std::shared_ptr<PluginFace> _plugin;
  std::array<std::shared_ptr<tk::Slider>, kSliderCount> _sliders;
  std::array<std::shared_ptr<tk::Label>, kSliderCount> _values;
  std::array<std::shared_ptr<tk::Label>, kSliderCount> _labels;
  std::shared_ptr<tk::Label> _subtitle;
  int _appliedLanguage = -1;
  std::shared_ptr<OrvanePopup> _mode;
  std::shared_ptr<OrvanePopup> _processing;
  std::shared_ptr<OrvanePopup> _language;
  std::shared_ptr<OrvaneButton> _bypass;
  std::shared_ptr<tk::Label> _meters;
  std::shared_ptr<tk::Timer> _timer;
  std::array<double, kWritableCount> _alternate{};
  bool _sideB = false;
  bool _advanced = false;
  std::vector<std::shared_ptr<tk::View>> _advancedViews;
  std::shared_ptr<OrvaneDial> _dial;
  std::shared_ptr<OrvaneButton> _settings;
  std::shared_ptr<OrvaneButton> _compare;
  std::shared_ptr<OrvaneButton> _save;
  std::shared_ptr<OrvaneButton> _open;
  std::shared_ptr<OrvaneButton> _reset;
};

}  // namespace orvane
