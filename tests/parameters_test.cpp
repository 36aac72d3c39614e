#include "params/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace orvane {
namespace {

// What the one table must satisfy for the host and for the layers that read it.
TEST(ParameterTable, WritableFirstThenMetersWithConsistentFlagsAndDefaults) {
  ASSERT_EQ(kParamCount, 15);
  std::set<ParamId> ids;
  int bypassFlags = 0;
  for (int i = 0; i < kParamCount; ++i) {
    const ParamInfo& p = kParams[i];
    SCOPED_TRACE(p.title);
    const bool meter = i >= 10;
    EXPECT_TRUE(ids.insert(p.id).second) << "identifiers are unique";
    EXPECT_EQ(p.id, meter ? InputPeak + (i - 10) : ParamId(i));
    EXPECT_EQ(p.key, i) << "titles are retitled from catalog keys 0..14 in order";
    EXPECT_EQ((p.flags & flags::kIsReadOnly) != 0, meter);
    EXPECT_EQ((p.flags & flags::kCanAutomate) != 0, !meter && p.id != ProcessingMode);
    EXPECT_EQ((p.flags & flags::kIsList) != 0, p.kind == ParamKind::StringList);
    EXPECT_TRUE(p.kind != ParamKind::StringList || p.stepCount == 2);
    bypassFlags += (p.flags & flags::kIsBypass) != 0;
    EXPECT_GE(p.defaultNorm, 0.0);
    EXPECT_LE(p.defaultNorm, 1.0);
    EXPECT_TRUE(i >= kEngineParamCount || static_cast<float>(p.defaultNorm) == Defaults[i]);
  }
  EXPECT_EQ(bypassFlags, 1);
  EXPECT_NE(kParams[Bypass].flags & flags::kIsBypass, 0);
  EXPECT_EQ(kParams[Bypass].stepCount, 1);
  EXPECT_EQ(kParams[ProcessingMode].defaultNorm, modeToNormalized(kDefaultMode));
  EXPECT_DOUBLE_EQ(toPlain(kParams[FrequencyFocus], kParams[FrequencyFocus].defaultNorm), 49.5);
}

TEST(ParameterConversion, PlainValuesModeIndexBypassAndAcceptance) {
  EXPECT_DOUBLE_EQ(toPlain(kParams[FrequencyFocus], 0.0), 35.0);
  EXPECT_DOUBLE_EQ(toPlain(kParams[OutputGain], 0.25), -9.0);
  EXPECT_DOUBLE_EQ(toPlain(kParams[OutputGain], 1.0), 18.0);

  const std::pair<double, int> modes[] = {{0.0, 0},  {0.2499, 0}, {0.25, 1},
                                          {0.74, 1}, {0.75, 2},   {1.0, 2},
                                          {-3.0, 0}, {7.0, 2},    {NAN, kDefaultMode}};
  for (const auto& [v, mode] : modes) EXPECT_EQ(modeFromNormalized(v), mode) << v;
  for (int m = 0; m < kModeCount; ++m) EXPECT_EQ(modeFromNormalized(modeToNormalized(m)), m);
  EXPECT_FALSE(bypassOn(0.5));
  EXPECT_TRUE(bypassOn(0.5000001));

  float v = 0.25f;
  for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)})
    EXPECT_FALSE(acceptNormalized(bad, v));
  EXPECT_EQ(v, 0.25f) << "a rejected value leaves the stored one alone";
  for (const auto& [in, out] : {std::pair{-0.5, 0.0f}, {1.5, 1.0f}, {0.1, 0.1f}}) {
    ASSERT_TRUE(acceptNormalized(in, v));
    EXPECT_EQ(v, out) << in;
  }
}

}  // namespace
}  // namespace orvane
