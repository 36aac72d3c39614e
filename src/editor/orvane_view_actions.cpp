// What the editor's controls do to the parameters, the periodic refresh that
// follows the plug-in, A/B comparison, reset, the error alert and preset
// files.
#include "editor/orvane_view.h"
#include "editor/readouts.h"
#include "editor/toolkit/window.h"
#include "editor/view_text.h"
#include "files/files.h"
#include "presets/preset_file.h"

namespace orvane {

using i18n::Key;

double OrvaneView::value(ParamId id) const {
  return _plugin ? _plugin->value(id) : 0.0;
}

void OrvaneView::edit(ParamId id, double v) {
  if (!_plugin) return;
  _plugin->beginEdit(id);
  _plugin->performEdit(id, v);
  _plugin->endEdit(id);
}

void OrvaneView::performAction(std::string_view action, tk::Control* sender) {
  if (action == "changed:")
    changed(sender);
  else if (action == "beginDial:")
    beginDial();
  else if (action == "endDial:")
    endDial();
  else if (action == "modeChanged:")
    modeChanged();
  else if (action == "processingChanged:")
    processingChanged();
  else if (action == "languageChanged:")
    languageChanged();
  else if (action == "bypass:")
    bypass();
  else if (action == "compare:")
    compare();
  else if (action == "savePreset:")
    savePreset();
  else if (action == "openPreset:")
    openPreset();
  else if (action == "reset:")
    reset();
  else if (action == "toggleAdvanced:")
    toggleAdvanced();
}

void OrvaneView::beginDial() {
  if (_plugin) _plugin->beginEdit(CleanAmount);
}

void OrvaneView::endDial() {
  if (_plugin) _plugin->endEdit(CleanAmount);
}

void OrvaneView::changed(tk::Control* sender) {
  if (!sender || !_plugin) return;
  if (sender == _dial.get() && _dial->isTracking()) {
    _plugin->performEdit(CleanAmount, _dial->doubleValue());
    return;
  }
  // The dial and the sliders carry their parameter as their tag.
  const int tag = sender->tag();
  if (tag < 0 || tag >= kSliderCount) return;
  edit(ParamId(tag), sender->doubleValue());
}

void OrvaneView::modeChanged() {
  const int index = _mode->indexOfSelectedItem();
  if (index >= 0) edit(CleanupProfile, index * 0.5);
}

void OrvaneView::processingChanged() {
  const int index = _processing->indexOfSelectedItem();
  if (index >= 0) edit(ProcessingMode, modeToNormalized(index));
}

void OrvaneView::bypass() {
  edit(Bypass, bypassOn(value(Bypass)) ? 0.0 : 1.0);
}

void OrvaneView::reset() {
  const auto defaults = defaultValues();
  for (int p = 0; p < kWritableCount; ++p) edit(ParamId(p), defaults[std::size_t(p)]);
}

void OrvaneView::compare() {
  for (int p = 0; p < kWritableCount; ++p) {
    const double live = value(ParamId(p));
    edit(ParamId(p), _alternate[std::size_t(p)]);
    _alternate[std::size_t(p)] = live;
  }
  _sideB = !_sideB;
  _compare->setTitle(uiText(_sideB ? Key::SideBSwitchToA : Key::SideASwitchToB));
}

void OrvaneView::showError(Key key) {
  tk::Window* w = window();
  if (!w) return;  // nowhere to show it
  w->modal().runAlert({"Orvane", uiText(key), {uiText(Key::Ok)}}, {});
}

std::weak_ptr<OrvaneView> OrvaneView::weakSelf() {
  return std::static_pointer_cast<OrvaneView>(shared_from_this());
}

void OrvaneView::savePreset() {
  tk::Window* w = window();
  if (!w) return;
  w->modal().runSavePanel(
      {uiText(Key::SavePresetTitle), uiText(Key::Save), preset::kExtension, preset::kProposedName},
      [self = weakSelf()](const tk::PanelAnswer& answer) {
        if (auto view = self.lock()) view->saveChosen(answer);
      });
}

void OrvaneView::saveChosen(const tk::PanelAnswer& answer) {
  if (answer.unavailable) {
    showError(Key::NoFileChooser);
    return;
  }
  if (!answer.path) return;
  preset::Values values{};
  for (int p = 0; p < preset::kValueCount; ++p) values[std::size_t(p)] = value(ParamId(p));
  if (!files::writeFileAtomically(*answer.path, preset::encode(values))) showError(Key::SaveFailed);
}

void OrvaneView::openPreset() {
  tk::Window* w = window();
  if (!w) return;
  w->modal().runOpenPanel({uiText(Key::OpenPresetTitle), uiText(Key::Open), preset::kExtension, {}},
                          [self = weakSelf()](const tk::PanelAnswer& answer) {
                            if (auto view = self.lock()) view->openChosen(answer);
                          });
}

void OrvaneView::openChosen(const tk::PanelAnswer& answer) {
  if (answer.unavailable) {
    showError(Key::NoFileChooser);
    return;
  }
  if (!answer.path) return;
  std::vector<std::uint8_t> bytes;
  if (!preset::readAll(*answer.path, bytes)) {
    showError(Key::OpenFailed);
    return;
  }
  // Checked whole before anything moves: a rejected file changes nothing.
  preset::Values values{};
  if (!preset::decode(bytes, value(ProcessingMode), values)) {
    showError(Key::InvalidPreset);
    return;
  }
  for (int p = 0; p < preset::kValueCount; ++p) edit(ParamId(p), values[std::size_t(p)]);
}

void OrvaneView::refresh() {
  const tk::Window* w = window();
  if (!w || !w->isVisible()) return;
  if (_appliedLanguage != i18n::validLanguage(i18n::preference())) applyLanguage();

  _dial->setDoubleValue(value(CleanAmount));

  for (int i = 0; i < kSliderCount; ++i) {
    const double v = value(ParamId(i));
    tk::Slider& slider = *_sliders[std::size_t(i)];
    if (slider.doubleValue() != v) slider.setDoubleValue(v);
    std::string readout = sliderReadout(i, v);
    tk::Label& shown = *_values[std::size_t(i)];
    if (shown.stringValue() != readout) shown.setStringValue(std::move(readout));
  }

  const int profile = listIndex(value(CleanupProfile));
  if (_mode->indexOfSelectedItem() != profile) _mode->selectItemAtIndex(profile);
  const int mode = listIndex(value(ProcessingMode));
  if (_processing->indexOfSelectedItem() != mode) _processing->selectItemAtIndex(mode);

  const bool bypassed = bypassOn(value(Bypass));
  const char* title = uiText(bypassed ? Key::EffectOff : Key::EffectOn);
  if (_bypass->title() != title) _bypass->setTitle(title);
  _bypass->setState(bypassed ? 1 : 0);

  std::string levels = meterReadout(value(InputPeak), value(OutputPeak), value(Clipping));
  if (_meters->stringValue() != levels) _meters->setStringValue(std::move(levels));
}

void OrvaneView::stop() {
  if (!_timer) return;
  _timer->invalidate();
  _timer.reset();
}

}  // namespace orvane
