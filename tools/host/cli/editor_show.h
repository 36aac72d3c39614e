// Shows a plug-in's editor the way a Linux DAW does: a top-level window of
// this host, the view made by IEditController::createView("editor"),
// attached with the platform type "X11EmbedWindowID" and this window's id,
// driven by the run loop the host's IPlugFrame offers. Returns when the user
// closes the window (or, with a screenshot path, once the picture is taken).
#pragma once

#include <string>

#include "vsthost/plugin.h"

namespace orvane::host {

struct ShowOptions {
  bool advanced = false;   // click the editor's face switch once it shows
  double scale = 1.0;      // the content scale factor handed to the view
  std::string screenshot;  // when set: write a PNG of the window and close it
  double seconds = 0;      // when above 0: close the window after this long
};

// Throws Error when there is no display, the plug-in has no editor for X11
// or refuses to attach, or the screenshot cannot be written.
void showEditor(Plugin& plugin, const ShowOptions& options);

}  // namespace orvane::host
