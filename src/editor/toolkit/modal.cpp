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

void CancellingModal::runAlert(const AlertRequest&, AlertDone done) {
  if (done) done(0);
}

void CancellingModal::runSavePanel(const FilePanelRequest&, PanelDone done) {
  if (done) done({});
}

void CancellingModal::runOpenPanel(const FilePanelRequest&, PanelDone done) {
  if (done) done({});
}

void CancellingModal::runMenu(const MenuRequest&, MenuDone done) {
  if (done) done(std::nullopt);
}

void ScriptedModal::runAlert(const AlertRequest& r, AlertDone done) {
  alerts.push_back(r);
  const int button = pop(alertAnswers, 0);
  if (done) done(button);
}

void ScriptedModal::runSavePanel(const FilePanelRequest& r, PanelDone done) {
  savePanels.push_back(r);
  const PanelAnswer answer{pop(saveAnswers, std::optional<std::string>{})};
  if (done) done(answer);
}

void ScriptedModal::runOpenPanel(const FilePanelRequest& r, PanelDone done) {
  openPanels.push_back(r);
  const PanelAnswer answer{pop(openAnswers, std::optional<std::string>{})};
  if (done) done(answer);
}

void ScriptedModal::runMenu(const MenuRequest& r, MenuDone done) {
  menus.push_back(r);
  const std::optional<int> item = pop(menuAnswers, std::optional<int>{});
  if (done) done(item);
}

}  // namespace orvane::tk
