// Construction, the two faces and the language of the editor surface.
#include "editor/orvane_view.h"

#include "editor/fitting_button.h"
#include "editor/knob/logo.h"
#include "editor/knob/orv_material.h"
#include "editor/view_text.h"

namespace orvane {

using i18n::Key;

namespace {

// Layer background of the whole surface.
constexpr tk::Color kBackground{0.045, 0.07, 0.11, 1.0};
constexpr tk::Color kLabelColor = tk::Color::white(0.86);

// The advanced panel's button row and the slider rows below it.
constexpr double kRowY = 78;
constexpr double kControlHeight = 32;
constexpr double kSliderTop = 128;
constexpr double kSliderPitch = 41;
constexpr double kSliderRowHeight = 24;

// The bypass button moves between the faces.
constexpr tk::Rect kBypassMain{286, 422, 188, 32};
constexpr tk::Rect kBypassAdvanced{210, 78, 115, 32};

Key keyAt(Key first, int offset) {
  return static_cast<Key>(static_cast<int>(first) + offset);
}

}  // namespace

std::shared_ptr<OrvaneView> OrvaneView::create(std::shared_ptr<PluginFace> plugin) {
  if (!plugin) return nullptr;
  auto view = std::make_shared<OrvaneView>(Passkey{}, std::move(plugin));
  view->startTimer();
  view->applyLanguage();
  view->refresh();
  return view;
}

OrvaneView::OrvaneView(Passkey, std::shared_ptr<PluginFace> plugin)
    : View(tk::Rect{0, 0, kWidth, kHeight}), _plugin(std::move(plugin)) {
  setBackgroundColor(kBackground);
  setAppearance(tk::Appearance::Dark);
  buildHeader();
  buildAdvancedPanel();
  collectAdvancedPanel();
  buildMainFace();
  _alternate = defaultValues();
}

std::array<double, OrvaneView::kWritableCount> OrvaneView::defaultValues() {
  // The defaults of parameters 0..8 as the engines hold them (single
  // precision widened), then the default processing mode.
  std::array<double, kWritableCount> v{};
  for (int p = 0; p < kEngineParamCount; ++p)
    v[std::size_t(p)] = static_cast<double>(Defaults[std::size_t(p)]);
  v[ProcessingMode] = modeToNormalized(kDefaultMode);
  return v;
}

void OrvaneView::buildHeader() {
  auto logo = std::make_shared<tk::ImageView>(tk::Rect{24, 22, 32, 32});
  logo->setImage(ORVMaterial(knob::logo(), knob::kLogoSize, false));
  addSubview(logo);

  label("Orvane", {67, 20, 160, 36}, 28);
  _subtitle = label("", {24, 56, 600, 20}, 11);

  _processing = popup({235, 24, 270, 32}, "processingChanged:");
  _language = popup({520, 24, 90, 32}, "languageChanged:");
  _language->addItemsWithTitles({"EN", "PT-BR", "ES"});  // language names are never translated
}

void OrvaneView::buildAdvancedPanel() {
  _mode = popup({24, kRowY, 180, kControlHeight}, "modeChanged:");
  _bypass = button("", 210, 115, "bypass:");
  _bypass->setTag(kBypassButtonTag);
  _compare = button("", 330, 125, "compare:");
  _save = button("", 460, 75, "savePreset:");
  _open = button("", 540, 70, "openPreset:");
  _reset = button("", 615, 115, "reset:");

  for (int i = 0; i < kSliderCount; ++i) {
    const double y = kSliderTop + kSliderPitch * i;
    _labels[std::size_t(i)] = label("", {24, y, 165, kSliderRowHeight}, 13);
    auto slider = std::make_shared<tk::Slider>(tk::Rect{195, y, 380, kSliderRowHeight},
                                               value(ParamId(i)), 0.0, 1.0);
    slider->setCell(std::make_unique<OrvaneSliderCell>());
    slider->setDoubleValue(value(ParamId(i)));
    slider->setTarget(this);
    slider->setAction("changed:");
    slider->setFocusRingType(tk::FocusRingType::None);
    slider->setTag(i);
    slider->setContinuous(true);
    addSubview(slider);
    _sliders[std::size_t(i)] = slider;
    _values[std::size_t(i)] = label("", {590, y, 140, kSliderRowHeight}, 13);
  }
}

void OrvaneView::collectAdvancedPanel() {
  // Everything built so far from the button row down, except bypass, which
  // both faces show, is the advanced panel. The views added after this point
  // (dial, face switch, meters) belong to no panel.
  for (const auto& v : subviews())
    if (v->frame().y >= kRowY && v != _bypass) _advancedViews.push_back(v);
  for (const auto& v : _advancedViews) v->setHidden(true);
  _bypass->setFrame(kBypassMain);
}

void OrvaneView::buildMainFace() {
  _dial = std::make_shared<OrvaneDial>(tk::Rect{160, 60, 440, 360});
  _dial->setTarget(this);
  _dial->setAction("changed:");
  _dial->setTag(static_cast<int>(CleanAmount));
  _dial->setDoubleValue(value(CleanAmount));
  addSubview(_dial);

  _settings = button("", 630, 106, "toggleAdvanced:");
  _settings->setFrame({630, 24, 106, kControlHeight});

  _meters = label("", {510, 420, 230, 24}, 11);
}

OrvaneView::~OrvaneView() {
  stop();
}

std::shared_ptr<tk::Label> OrvaneView::label(const std::string& text, tk::Rect frame, double size) {
  auto l = std::make_shared<tk::Label>(frame, text, tk::Font::system(size), kLabelColor);
  addSubview(l);
  return l;
}

std::shared_ptr<OrvaneButton> OrvaneView::button(const std::string& title, double x, double width,
                                                 const char* action) {
  auto b = std::make_shared<OrvaneFittingButton>(tk::Rect{x, kRowY, width, kControlHeight}, title);
  b->setTarget(this);
  b->setAction(action);
  b->setFocusRingType(tk::FocusRingType::None);
  b->setButtonType(tk::ButtonType::MomentaryPush);
  addSubview(b);
  return b;
}

std::shared_ptr<OrvanePopup> OrvaneView::popup(tk::Rect frame, const char* action) {
  auto p = std::make_shared<OrvanePopup>(frame, false);
  p->setBordered(false);
  p->setFocusRingType(tk::FocusRingType::None);
  p->setTarget(this);
  p->setAction(action);
  addSubview(p);
  return p;
}

void OrvaneView::startTimer() {
  std::weak_ptr<OrvaneView> weak = std::static_pointer_cast<OrvaneView>(shared_from_this());
  _timer = tk::RunLoop::main().scheduleTimer(kRefreshInterval, true, [weak](tk::Timer&) {
    if (auto view = weak.lock()) view->refresh();
  });
}

void OrvaneView::toggleAdvanced() {
  _advanced = !_advanced;
  for (const auto& v : _advancedViews) v->setHidden(!_advanced);
  _dial->setHidden(_advanced);
  _settings->setTitle(uiText(_advanced ? Key::Back : Key::Advanced));
  _bypass->setFrame(_advanced ? kBypassAdvanced : kBypassMain);
}

void OrvaneView::applyLanguage() {
  _appliedLanguage = i18n::validLanguage(i18n::preference());

  _language->selectItemAtIndex(_appliedLanguage);
  _language->setAccessibilityLabel(uiText(Key::Language));

  _mode->removeAllItems();
  for (int i = 0; i < 3; ++i) _mode->addItemWithTitle(uiText(keyAt(Key::ProfileLive, i)));
  _mode->selectItemAtIndex(listIndex(value(CleanupProfile)));
  _mode->setAccessibilityLabel(uiText(Key::CleanupProfile));

  _processing->removeAllItems();
  for (int i = 0; i < 3; ++i) _processing->addItemWithTitle(uiText(keyAt(Key::NeuralLive, i)));
  _processing->selectItemAtIndex(listIndex(value(ProcessingMode)));
  _processing->setAccessibilityLabel(uiText(Key::ProcessingMode));

  _subtitle->setStringValue(std::string(uiText(Key::Subtitle)) + " / " + ORV_VERSION);

  // Slider i edits parameter i, whose title key is i.
  for (int i = 0; i < kSliderCount; ++i) {
    _labels[std::size_t(i)]->setStringValue(uiText(static_cast<Key>(i)));
    _sliders[std::size_t(i)]->setAccessibilityLabel(uiText(static_cast<Key>(i)));
  }

  _settings->setTitle(uiText(_advanced ? Key::Back : Key::Advanced));
  _compare->setTitle(uiText(_sideB ? Key::SideBSwitchToA : Key::SideASwitchToB));
  _save->setTitle(uiText(Key::Save));
  _open->setTitle(uiText(Key::Open));
  _reset->setTitle(uiText(Key::Reset));
  _bypass->setTitle(uiText(bypassOn(value(Bypass)) ? Key::EffectOff : Key::EffectOn));

  _dial->setAccessibilityLabel(uiText(Key::VoiceCleanup));
  _dial->setNeedsDisplay(true);

  if (_plugin) _plugin->languageChanged();
}

void OrvaneView::languageChanged() {
  i18n::setLanguage(_language->indexOfSelectedItem(), true);
  applyLanguage();
  refresh();
}

}  // namespace orvane
