#include "editor/fitting_button.h"

namespace orvane {

namespace {
// Size steps tried below the standard size.
constexpr double kSizeStep = 0.5;
}  // namespace

tk::Font OrvaneFittingButton::titleFont(std::string_view title, double buttonWidth) {
  tk::Font font = styled::kTitleFont;
  const double room = buttonWidth - 2 * kTitleMargin;
  while (font.size > kMinTitleSize && tk::measureText(title, font).width > room)
    font.size -= kSizeStep;
  return font;
}

void OrvaneFittingButton::drawRect(tk::Canvas& canvas, const tk::Rect&) {
  const bool active = isActive();
  const tk::Rect b = bounds();
  ORVSurface(canvas, b, _hover, isHighlighted(), isFirstResponder(), active);
  const tk::Font font = titleFont(title(), b.width);
  const tk::Size size = canvas.measureText(title(), font);
  canvas.drawText(title(), {(b.width - size.width) / 2, (b.height - size.height) / 2}, font,
                  active ? styled::kTitleActive : styled::kTitle);
}

}  // namespace orvane
