// The modal interface of a window embedded in a host on a Linux desktop:
// alerts and menus drawn inside the window (overlays.h), file panels from the
// desktop's file chooser run as a child process (file_chooser.h). Nothing
// here blocks: every answer arrives later, from the host's loop.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "editor/toolkit/file_chooser.h"
#include "editor/toolkit/host_loop.h"
#include "editor/toolkit/modal.h"

namespace orvane::tk {

class Window;

class DesktopModal : public Modal {
 public:
  // `window` owns this modal and outlives it; so does `loop`. Dialogs stay
  // above the window `transientFor` (0: none).
  DesktopModal(Window& window, HostLoop& loop, std::uint32_t transientFor)
      : window_(window), chooser_(loop), transientFor_(transientFor) {}

  void runAlert(const AlertRequest& request, AlertDone done) override;
  // With a chooser already open the request is answered as cancelled; with
  // no chooser program on PATH, as unavailable.
  void runSavePanel(const FilePanelRequest& request, PanelDone done) override;
  void runOpenPanel(const FilePanelRequest& request, PanelDone done) override;
  void runMenu(const MenuRequest& request, MenuDone done) override;

  bool isChooserOpen() const { return chooser_.isRunning(); }

 private:
  void runPanel(ChooserKind kind, const FilePanelRequest& request, const PanelDone& done);
  Window& window_;
  FileChooser chooser_;
  std::uint32_t transientFor_;
};

}  // namespace orvane::tk
