// The LV2 edition's UI as an LV2 host runs it: Orvane_ui.so opened with
// dlopen, instantiated through lv2ui_descriptor in the host's X11 window,
// values fed as port events, driven only by idle calls. What the user does
// must arrive as control-port writes in the table's plain units, between the
// host's touch calls; what it shows must be the editor's off-screen picture.
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "lv2/ports.h"
#include "x11_scene.h"

namespace orvane {
namespace {

using test::EmbedScene;

class Lv2UiScene : public EmbedScene {
 public:
  explicit Lv2UiScene(float factor = 1.0f) : scaleFactor(factor) {
    library = ::dlopen(ORV_LV2_UI, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << ::dlerror();
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(library, "lv2ui_descriptor"));
    descriptor = entry(0);
    EXPECT_STREQ(descriptor->URI, lv2::kUiUri);
    EXPECT_EQ(entry(1), nullptr);
    idleInterface = static_cast<const LV2UI_Idle_Interface*>(
        descriptor->extension_data(LV2_UI__idleInterface));
  }
  ~Lv2UiScene() override {
    close();
    ::dlclose(library);
  }

  // Instantiates as a host does; with `parent` false the host offers no
  // window to embed in.
  bool open(bool parent = true) {
    std::vector<const LV2_Feature*> list{&mapFeature, &optionsFeature, &resizeFeature,
                                         &touchFeature};
    const LV2_Feature parentFeature{LV2_UI__parent, test::windowHandle(host->id())};
    if (parent) list.push_back(&parentFeature);
    list.push_back(nullptr);
    handle = descriptor->instantiate(descriptor, lv2::kMonoUri, "/", &Lv2UiScene::write, this,
                                     &widget, list.data());
    if (handle) settle(0.05);
    return handle != nullptr;
  }
  void close() {
    if (handle) descriptor->cleanup(handle);
    handle = nullptr;
  }
  void portEvent(std::uint32_t port, float value) {
    descriptor->port_event(handle, port, sizeof value, 0, &value);
  }

  void settle(double seconds = 0.25) override {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      if (handle) {
        EXPECT_EQ(idleInterface->idle(handle), 0);
      }
      ::usleep(2000);
    }
  }
  double scale() const override { return scaleFactor; }

  LV2UI_Handle handle = nullptr;
  LV2UI_Widget widget = nullptr;
  std::vector<std::string> log;  // "write 7 1", "touch 7 on" ...
  std::vector<std::pair<int, int>> resizes;

 private:
  static void write(LV2UI_Controller c, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer) {
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(protocol, 0u);
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
  static LV2_URID map(LV2_URID_Map_Handle h, const char* uri) {
    auto& uris = *static_cast<std::vector<std::string>*>(h);
    for (std::size_t i = 0; i < uris.size(); ++i)
      if (uris[i] == uri) return LV2_URID(i + 1);
    uris.emplace_back(uri);
    return LV2_URID(uris.size());
  }

  float scaleFactor;
  void* library = nullptr;
  const LV2UI_Descriptor* descriptor = nullptr;
  const LV2UI_Idle_Interface* idleInterface = nullptr;
  std::vector<std::string> uris;
  LV2_URID_Map uridMap{&uris, &Lv2UiScene::map};
  LV2UI_Resize resizer{this, &Lv2UiScene::resize};
  LV2UI_Touch toucher{this, &Lv2UiScene::touch};
  LV2_Options_Option options[2]{
      {LV2_OPTIONS_INSTANCE, 0, map(&uris, LV2_UI__scaleFactor), sizeof(float),
       map(&uris, LV2_ATOM__Float), &scaleFactor},
      {}};
  const LV2_Feature mapFeature{LV2_URID__map, &uridMap};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
  const LV2_Feature resizeFeature{LV2_UI__resize, &resizer};
  const LV2_Feature touchFeature{LV2_UI__touch, &toucher};
};

class Lv2Ui : public test::X11Test {};

TEST_F(Lv2Ui, ShowsWhatTheOffscreenEditorDrawsForTheSameValuesLanguageAndScale) {
  i18n::setLanguage(2, true);  // the UI reads the stored preference, as a host's process would
  Lv2UiScene s(2.0f);
  ASSERT_TRUE(s.open());
  EXPECT_EQ(s.resizes, (std::vector<std::pair<int, int>>{{1520, 960}}));
  // Parameters in plain units, meters as readings.
  const std::pair<std::uint32_t, float> ports[] = {
      {0, 25.0f}, {4, 100.0f}, {6, 6.0f}, {7, 1.0f}, {8, 2.0f}, {9, 0.0f}, {10, 0.5f}, {14, 1.0f}};
  for (const auto& [port, value] : ports) s.portEvent(port, value);
  s.settle();
  EXPECT_TRUE(s.log.empty()) << "following the plug-in writes nothing back";
  test::HostedController same;
  const std::pair<ParamId, double> norms[] = {
      {0, 0.25},          {4, 65.0 / 145.0},      {6, 24.0 / 36.0},  {Bypass, 1.0},
      {8, 1.0},           {ProcessingMode, 0.0}, {InputPeak, 0.5}, {Clipping, 1.0}};
  for (const auto& [id, value] : norms) same.hostSets(id, value);
  EXPECT_EQ(s.differingPixels(test::offscreenPicture(same.controller, 2.0)), 0);
  s.click({683, 40});  // Advanced
  s.park();
  s.settle(0.1);
  EXPECT_EQ(s.differingPixels(test::offscreenPicture(same.controller, 2.0, true)), 0);
}

TEST_F(Lv2Ui, ClicksAndDragsArriveAsPortWritesInPlainUnitsBetweenTouches) {
  Lv2UiScene s;
  ASSERT_TRUE(s.open());
  s.portEvent(0, 50.0f);
  s.settle();
  EXPECT_TRUE(s.log.empty());

  // The dial's centre and the bypass button are where the editor puts them.
  s.click({380, 438});
  EXPECT_EQ(s.log, (std::vector<std::string>{"touch 7 on", "write 7 1", "touch 7 off"}));
  // 48 points up turn 50 % into 70 %: one gesture, the last write the end value.
  s.log.clear();
  s.dragUp({380, 210}, 48);
  ASSERT_GE(s.log.size(), 3u);
  EXPECT_EQ(s.log.front(), "touch 0 on");
  EXPECT_EQ(s.log[s.log.size() - 2], "write 0 70");
  EXPECT_EQ(s.log.back(), "touch 0 off");
  EXPECT_EQ(std::count(s.log.begin(), s.log.end(), "touch 0 on"), 1);

  // Side B starts at the defaults: ten writes, each in its port's units.
  s.click({683, 40});  // Advanced
  s.log.clear();
  s.click({392, 94});  // A / switch to B
  const std::vector<std::string> some{"write 4 49.5", "write 6 0", "write 8 1", "write 9 1"};
  for (const std::string& w : some)
    EXPECT_EQ(std::count(s.log.begin(), s.log.end(), w), 1) << w;
  EXPECT_EQ(s.log.size(), 30u);
}

TEST_F(Lv2Ui, OpeningAndClosingLeavesNothingBehindAndNoParentIsRefused) {
  Lv2UiScene s;
  ASSERT_TRUE(s.open());  // warm-up: fonts and the knob material stay loaded
  s.close();
  const long fds = test::openDescriptors();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(s.open());
    EXPECT_EQ(s.host->children(),
              std::vector<std::uint32_t>{std::uint32_t(reinterpret_cast<std::uintptr_t>(s.widget))})
        << "the widget is the embedded window";
    s.close();
  }
  s.settle(0.05);  // the server has our connection's last requests
  EXPECT_EQ(s.host->children().size(), 0u);
  EXPECT_EQ(test::openDescriptors(), fds);
  EXPECT_FALSE(s.open(false));
  EXPECT_EQ(s.host->children().size(), 0u);
  EXPECT_EQ(test::openDescriptors(), fds);
}

}  // namespace
}  // namespace orvane
