// The editor's styled button with a title that keeps clear of its outline.
// Titles come in three languages and the system face here can run wider than
// the one the fixed layout was drawn with, so a title that would come closer
// than kTitleMargin to either side is drawn in the largest smaller size that
// fits, down to kMinTitleSize. Titles that fit keep the standard font.
// Main thread only.
#pragma once

#include <string_view>

#include "editor/styled_controls.h"

namespace orvane {

class OrvaneFittingButton : public OrvaneButton {
 public:
  static constexpr double kTitleMargin = 6;
  static constexpr double kMinTitleSize = 10;

  using OrvaneButton::OrvaneButton;

  // The font the title is drawn in at a button width.
  static tk::Font titleFont(std::string_view title, double buttonWidth);

  void drawRect(tk::Canvas& canvas, const tk::Rect& dirty) override;
};

}  // namespace orvane
