#include "editor/toolkit/desktop_modal.h"

#include "editor/toolkit/overlays.h"

namespace orvane::tk {

void DesktopModal::runAlert(const AlertRequest& request, AlertDone done) {
  AlertOverlay::show(window_, request, std::move(done));
}

void DesktopModal::runMenu(const MenuRequest& request, MenuDone done) {
  MenuOverlay::show(window_, request, std::move(done));
}

void DesktopModal::runSavePanel(const FilePanelRequest& request, PanelDone done) {
  runPanel(ChooserKind::Save, request, done);
}

void DesktopModal::runOpenPanel(const FilePanelRequest& request, PanelDone done) {
  runPanel(ChooserKind::Open, request, done);
}

void DesktopModal::runPanel(ChooserKind kind, const FilePanelRequest& request,
                            const PanelDone& done) {
  if (chooser_.isRunning()) {
    if (done) done({});
    return;
  }
  const std::string program = findChooserProgram();
  auto answer = [done](std::optional<std::string> path) {
    if (done) done({std::move(path)});
  };
  if (program.empty() || !chooser_.start(program, kind, request, transientFor_, answer)) {
    if (done) done({std::nullopt, true});
  }
}

}  // namespace orvane::tk
