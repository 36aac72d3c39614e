#include "params/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orvane {
namespace {

TEST(ParameterTable, OrderIdentifiersAndFlags) {
  const ParamId order[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100, 101, 102, 103, 104};
  ASSERT_EQ(kParamCount, 15);
  for (int i = 0; i < kParamCount; ++i) {
    EXPECT_EQ(kParams[i].id, order[i]) << i;
    EXPECT_EQ(findParam(order[i]), &kParams[i]);
    EXPECT_EQ(kParams[i].key, i) << "titles are retitled from catalog keys 0..14 in order";
  }
  EXPECT_EQ(findParam(10), nullptr);
  EXPECT_EQ(findParam(99), nullptr);

  EXPECT_EQ(findParam(Bypass)->flags, 65537);
  EXPECT_EQ(findParam(CleanupProfile)->flags, 9);
  EXPECT_EQ(findParam(ProcessingMode)->flags, 8);
  for (ParamId id : {CleanAmount, OriginalAmbience, NoiseReduction, BodyRestore, FrequencyFocus,
                     DryWet, OutputGain})
    EXPECT_EQ(findParam(id)->flags, 1) << id;
  for (ParamId id : {InputPeak, OutputPeak, Reduction, NeuralActive, Clipping})
    EXPECT_EQ(findParam(id)->flags, 2) << id;

  // Declared defaults: the shared table for 0..8, then mode and meters.
  const double expected[] = {1.0, 0.0, 1.0, 0.0, 0.1, 1.0, 0.5, 0.0, 0.5, 0.5, 0, 0, 0, 0.5, 0};
  for (int i = 0; i < kParamCount; ++i)
    EXPECT_FLOAT_EQ(kParams[i].defaultNorm, expected[i]) << kParams[i].title;
}

TEST(ParameterConversion, RangePlainAndNormalised) {
  const ParamInfo& focus = *findParam(FrequencyFocus);
  const ParamInfo& gain = *findParam(OutputGain);
  EXPECT_DOUBLE_EQ(toPlain(focus, 0.1), 49.5);
  EXPECT_DOUBLE_EQ(toPlain(focus, 0.0), 35.0);
  EXPECT_DOUBLE_EQ(toPlain(focus, 1.0), 180.0);
  EXPECT_DOUBLE_EQ(toPlain(gain, 0.25), -9.0);
  EXPECT_DOUBLE_EQ(toPlain(gain, 0.5), 0.0);
  EXPECT_DOUBLE_EQ(toPlain(*findParam(CleanAmount), 0.37), 37.0);
  EXPECT_DOUBLE_EQ(toNormalized(gain, 18.0), 1.0);
  EXPECT_NEAR(toNormalized(focus, toPlain(focus, 0.73)), 0.73, 1e-12);
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

TEST(ParameterConversion, BypassAndListEntries) {
  EXPECT_FALSE(bypassOn(0.5));
  EXPECT_TRUE(bypassOn(0.5000001));
  EXPECT_EQ(listEntry(0.0, 2), 0);
  EXPECT_EQ(listEntry(0.33, 2), 0);
  EXPECT_EQ(listEntry(0.34, 2), 1);
  EXPECT_EQ(listEntry(0.5, 2), 1);
  EXPECT_EQ(listEntry(0.67, 2), 2);
  EXPECT_EQ(listEntry(1.0, 2), 2);
  EXPECT_EQ(listEntry(std::numeric_limits<double>::quiet_NaN(), 2), 0);
  EXPECT_DOUBLE_EQ(listEntryToNormalized(1, 2), 0.5);
  EXPECT_DOUBLE_EQ(listEntryToNormalized(2, 2), 1.0);
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
