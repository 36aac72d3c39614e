#include "params/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace orvane {
namespace {

// The table entry of an identifier.
const ParamInfo& entry(ParamId id) {
  for (const ParamInfo& p : kParams)
    if (p.id == id) return p;
  throw std::out_of_range("no parameter " + std::to_string(id));
}

TEST(ParameterTable, OrderIdentifiersAndFlags) {
  const ParamId order[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100, 101, 102, 103, 104};
  ASSERT_EQ(kParamCount, 15);
  for (int i = 0; i < kParamCount; ++i) {
    EXPECT_EQ(kParams[i].id, order[i]) << i;
    EXPECT_EQ(kParams[i].key, i) << "titles are retitled from catalog keys 0..14 in order";
  }

  EXPECT_EQ(entry(Bypass).flags, 65537);
  EXPECT_EQ(entry(CleanupProfile).flags, 9);
  EXPECT_EQ(entry(ProcessingMode).flags, 8);
  for (ParamId id : {CleanAmount, OriginalAmbience, NoiseReduction, BodyRestore, FrequencyFocus,
                     DryWet, OutputGain})
    EXPECT_EQ(entry(id).flags, 1) << id;
  for (ParamId id : {InputPeak, OutputPeak, Reduction, NeuralActive, Clipping})
    EXPECT_EQ(entry(id).flags, 2) << id;

  // Declared defaults: the shared table for 0..8, then mode and meters.
  const double expected[] = {1.0, 0.0, 1.0, 0.0, 0.1, 1.0, 0.5, 0.0, 0.5, 0.5, 0, 0, 0, 0.5, 0};
  for (int i = 0; i < kParamCount; ++i)
    EXPECT_FLOAT_EQ(kParams[i].defaultNorm, expected[i]) << kParams[i].title;
}

TEST(ParameterConversion, RangePlainValues) {
  const ParamInfo& focus = entry(FrequencyFocus);
  const ParamInfo& gain = entry(OutputGain);
  EXPECT_DOUBLE_EQ(toPlain(focus, 0.1), 49.5);
  EXPECT_DOUBLE_EQ(toPlain(focus, 0.0), 35.0);
  EXPECT_DOUBLE_EQ(toPlain(focus, 1.0), 180.0);
  EXPECT_DOUBLE_EQ(toPlain(gain, 0.25), -9.0);
  EXPECT_DOUBLE_EQ(toPlain(gain, 0.5), 0.0);
  EXPECT_DOUBLE_EQ(toPlain(gain, 1.0), 18.0);
  EXPECT_DOUBLE_EQ(toPlain(entry(CleanAmount), 0.37), 37.0);
}

TEST(ParameterConversion, ModeIndexThresholds) {
  EXPECT_EQ(modeFromNormalized(0.0), 0);
  EXPECT_EQ(modeFromNormalized(0.2499), 0);
  EXPECT_EQ(modeFromNormalized(0.25), 1);
  EXPECT_EQ(modeFromNormalized(0.3), 1);
  EXPECT_EQ(modeFromNormalized(0.74), 1);
  EXPECT_EQ(modeFromNormalized(0.75), 2);
  EXPECT_EQ(modeFromNormalized(1.0), 2);
  EXPECT_EQ(modeFromNormalized(-3.0), 0);
  EXPECT_EQ(modeFromNormalized(7.0), 2);
  EXPECT_EQ(modeFromNormalized(std::numeric_limits<double>::quiet_NaN()), kDefaultMode);
  for (int m = 0; m < kModeCount; ++m) EXPECT_EQ(modeFromNormalized(modeToNormalized(m)), m);
}

TEST(ParameterConversion, BypassThreshold) {
  EXPECT_FALSE(bypassOn(0.5));
  EXPECT_TRUE(bypassOn(0.5000001));
}

TEST(ParameterConversion, AcceptanceRejectsNonFiniteAndClamps) {
  float v = 0.25f;
  EXPECT_FALSE(acceptNormalized(std::numeric_limits<double>::quiet_NaN(), v));
  EXPECT_FALSE(acceptNormalized(std::numeric_limits<double>::infinity(), v));
  EXPECT_FALSE(acceptNormalized(-std::numeric_limits<double>::infinity(), v));
  EXPECT_EQ(v, 0.25f) << "a rejected value leaves the stored one alone";
  ASSERT_TRUE(acceptNormalized(-0.5, v));
  EXPECT_EQ(v, 0.0f);
  ASSERT_TRUE(acceptNormalized(1.5, v));
  EXPECT_EQ(v, 1.0f);
  ASSERT_TRUE(acceptNormalized(0.1, v));
  EXPECT_EQ(v, 0.1f);
}

}  // namespace
}  // namespace orvane
