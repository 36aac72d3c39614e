// The LV2 edition's UI as an LV2 host runs it: Orvane_ui.so opened with
// dlopen, embedded in the host's X11 window, fed port events, driven by idle
// calls only.
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <unistd.h>

#include <chrono>

#include "protocol/lv2_ports.h"
#include "x11_scene.h"

namespace orvane {
namespace {

class Lv2UiScene : public test::EmbedScene {
 public:
  explicit Lv2UiScene(float factor = 1.0f)
      : scaleFactor(factor), library(::dlopen(ORV_LV2_UI, RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(library, nullptr) << ::dlerror();
    ui = reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(library, "lv2ui_descriptor"))(0);
    idler = static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
  }
  ~Lv2UiScene() override {
    close();
    ::dlclose(library);
  }

  // As a host instantiates it; without `parent` the host offers no window.
  bool open(bool parent = true, const char* plugin = lv2::kMonoUri) {
    const LV2_Feature parentFeature{LV2_UI__parent, test::windowHandle(host->id())};
    const std::vector<const LV2_Feature*> features{&mapFeature,
                                                   &optionsFeature,
                                                   &resizeFeature,
                                                   &touchFeature,
                                                   parent ? &parentFeature : nullptr,
                                                   nullptr};
    handle = ui->instantiate(ui, plugin, "/", &write, this, &widget, features.data());
    settle(0.05);
    return handle != nullptr;
  }
  void close() {
    if (handle) ui->cleanup(handle);
    handle = nullptr;
  }
  void portEvent(std::uint32_t port, float value) {
    ui->port_event(handle, port, sizeof value, 0, &value);
  }
  void settle(double seconds = 0.25) override {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; std::chrono::steady_clock::now() < end; ::usleep(2000))
      EXPECT_TRUE(!handle || idler->idle(handle) == 0);
  }
  double scale() const override { return scaleFactor; }

  LV2UI_Handle handle = nullptr;
  LV2UI_Widget widget = nullptr;
  std::vector<std::string> log;  // "write 7 1", "touch 7 on" ...
  std::vector<std::pair<int, int>> resizes;

 private:
  static void write(LV2UI_Controller c, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer) {
    EXPECT_TRUE(size == sizeof(float) && protocol == 0);
    static_cast<Lv2UiScene*>(c)->log.push_back(
        test::entry("write", port, *static_cast<const float*>(buffer)));
  }
  static void touch(LV2UI_Feature_Handle h, std::uint32_t port, bool grabbed) {
    static_cast<Lv2UiScene*>(h)->log.push_back("touch " + std::to_string(port) +
                                               (grabbed ? " on" : " off"));
  }
  static int resize(LV2UI_Feature_Handle h, int width, int height) {
    auto* s = static_cast<Lv2UiScene*>(h);
    s->resizes.emplace_back(width, height);
    s->host->resize(width, height);
    return 0;
  }
  // The UI maps two URIs: the option's key and its type.
  static LV2_URID map(LV2_URID_Map_Handle, const char* uri) {
    return std::string(uri) == LV2_UI__scaleFactor ? 1
           : std::string(uri) == LV2_ATOM__Float   ? 2
                                                   : 3;
  }

  float scaleFactor;
  void* library;
  const LV2UI_Descriptor* ui = nullptr;
  const LV2UI_Idle_Interface* idler = nullptr;
  LV2_URID_Map uridMap{nullptr, &map};
  LV2UI_Resize resizer{this, &resize};
  LV2UI_Touch toucher{this, &touch};
  LV2_Options_Option options[2]{{LV2_OPTIONS_INSTANCE, 0, 1, sizeof(float), 2, &scaleFactor}, {}};
  LV2_Feature mapFeature{LV2_URID__map, &uridMap}, optionsFeature{LV2_OPTIONS__options, options},
      resizeFeature{LV2_UI__resize, &resizer}, touchFeature{LV2_UI__touch, &toucher};
};

using Lv2Ui = test::X11Test;

TEST_F(Lv2Ui, ShowsBothFacesAsTheOffscreenEditorDrawsThemForTheSameValuesLanguageAndScale) {
  i18n::setLanguage(2, true);  // stored, where the UI reads it
  Lv2UiScene s(2.0f);
  ASSERT_TRUE(s.open());
  EXPECT_EQ(s.resizes, (std::vector<std::pair<int, int>>{{1520, 960}}));
  // Parameters in plain units, meters as readings; the same as normalised values.
  const std::tuple<std::uint32_t, float, double> values[] = {
      {0, 25.0f, 0.25},       {4, 100.0f, 65.0 / 145.0},
      {6, 6.0f, 24.0 / 36.0}, {7, 1.0f, 1.0},
      {8, 2.0f, 1.0},         {9, 0.0f, 0.0},
      {10, 0.5f, 0.5},        {14, 1.0f, 1.0}};
  test::HostedController same;
  for (const auto& [port, plain, norm] : values) {
    s.portEvent(port, plain);
    same.hostSets(port < 10 ? port : InputPeak + port - 10, norm);
  }
  s.settle();
  EXPECT_TRUE(s.log.empty()) << "following the plug-in writes nothing back";
  EXPECT_EQ(s.differingPixels(test::offscreenPicture(same.controller, 2.0)), 0);
  s.click({683, 40});  // Advanced
  s.park();
  s.settle(0.1);
  EXPECT_EQ(s.differingPixels(test::offscreenPicture(same.controller, 2.0, true)), 0);
}

TEST_F(Lv2Ui, ClickAndDragArriveAsPortWritesInPlainUnitsBetweenTouchesAndClosingLeavesNothing) {
  Lv2UiScene s;
  ASSERT_TRUE(s.open());
  s.portEvent(0, 50.0f);
  s.settle();
  s.click({380, 438});  // bypass, on the main face
  EXPECT_EQ(s.log, (std::vector<std::string>{"touch 7 on", "write 7 1", "touch 7 off"}));
  // 48 points up turn 50 % into 70 %: one gesture, the last write the end value.
  s.log.clear();
  s.dragUp({380, 210}, 48);
  ASSERT_GE(s.log.size(), 3u);
  EXPECT_EQ(s.log.front(), "touch 0 on");
  EXPECT_EQ(s.log[s.log.size() - 2], "write 0 70");
  EXPECT_EQ(s.log.back(), "touch 0 off");
  EXPECT_EQ(std::count(s.log.begin(), s.log.end(), "touch 0 on"), 1);

  // The session above loaded what stays for the process (fonts, the knob).
  s.close();
  const long fds = test::openDescriptors();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(s.open(true, i % 2 ? lv2::kStereoUri : lv2::kMonoUri));
    EXPECT_EQ(s.host->children(), std::vector<std::uint32_t>{
                                      std::uint32_t(reinterpret_cast<std::uintptr_t>(s.widget))});
    s.close();
  }
  EXPECT_FALSE(s.open(false)) << "no parent window";
  EXPECT_FALSE(s.open(true, "urn:other"));
  s.settle(0.05);  // the server has our connection's last requests
  EXPECT_EQ(s.host->children().size(), 0u);
  EXPECT_EQ(test::openDescriptors(), fds);
}

}  // namespace
}  // namespace orvane
