#include "editor/toolkit/modal.h"

namespace orvane::tk {

namespace {
template <typename T, typename D>
T pop(std::deque<T>& q, D fallback) {
  if (q.empty()) return fallback;
  T v = std::move(q.front());
  q.pop_front();
  return v;
}
}  // namespace

int ScriptedModal::runAlert(const AlertRequest& r) {
  alerts.push_back(r);
  return pop(alertAnswers, 0);
}

std::optional<std::string> ScriptedModal::runSavePanel(const FilePanelRequest& r) {
  savePanels.push_back(r);
  return pop(saveAnswers, std::optional<std::string>{});
}

std::optional<std::string> ScriptedModal::runOpenPanel(const FilePanelRequest& r) {
  openPanels.push_back(r);
  return pop(openAnswers, std::optional<std::string>{});
}

std::optional<int> ScriptedModal::runMenu(const MenuRequest& r) {
  menus.push_back(r);
  return pop(menuAnswers, std::optional<int>{});
}

}  // namespace orvane::tk
