// Cost of turning the knob: RotatingMaterial::render at a changing value (so
// the cache never answers), and a full dial frame in the headless window.
#include <benchmark/benchmark.h>

#include "editor/knob/material_loader.h"
#include "editor/knob/rotating_material.h"
#include "editor/orvane_dial.h"
#include "editor/toolkit/window.h"

namespace {

void BM_KnobRender(benchmark::State& state) {
  orvane::knob::Material m = orvane::knob::loadEmbeddedMaterial();
  orvane::knob::RotatingMaterial rm(m.width, m.height, std::move(m.words));
  double v = 0;
  for (auto _ : state) {
    // Steps of about a thousandth, as a slow drag produces, wrapping inside the range.
    v += 0.00137;
    if (v > 0.999) v -= 0.999;
    benchmark::DoNotOptimize(rm.render(v).data());
  }
}
BENCHMARK(BM_KnobRender)->Unit(benchmark::kMillisecond);

void BM_KnobRenderCached(benchmark::State& state) {
  orvane::knob::Material m = orvane::knob::loadEmbeddedMaterial();
  orvane::knob::RotatingMaterial rm(m.width, m.height, std::move(m.words));
  rm.render(0.42);
  for (auto _ : state) benchmark::DoNotOptimize(rm.render(0.42).data());
}
BENCHMARK(BM_KnobRenderCached);

// Everything a drag step costs on screen: new value, render, image, and the
// whole dial drawn into a 760 x 480 window.
void BM_DialFrame(benchmark::State& state) {
  orvane::tk::Window window({760, 480});
  auto dial = std::make_shared<orvane::OrvaneDial>(orvane::tk::Rect{160, 60, 440, 360});
  window.contentView()->addSubview(dial);
  window.setVisible(true);
  double v = 0;
  for (auto _ : state) {
    v += 0.00137;
    if (v > 0.999) v -= 0.999;
    dial->setDoubleValue(v);
    window.displayIfNeeded();
  }
}
BENCHMARK(BM_DialFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
