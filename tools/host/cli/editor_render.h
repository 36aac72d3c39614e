// Renders a plug-in's editor to a PNG the way a host shows it: the view made
// by IEditController::createView("editor"), attached with the platform type
// "NSView" to the root view of a headless window that this host owns.
//
// The host and the plug-in module each carry their own copy of the widget
// layer (the module exports nothing else), so nothing process-wide is shared
// between them: the host owns the window and hands its root view over as the
// parent, the plug-in adds its views into it, the host's window draws the
// whole tree, and the plug-in's timers run through the Linux IRunLoop that
// the host's IPlugFrame offers. Both copies are built from the same source in
// the same build, which is what lets one walk the other's views.
#pragma once

#include <string>

#include "vsthost/plugin.h"

namespace orvane::host {

struct RenderOptions {
  bool advanced = false;  // show the advanced panel instead of the main face
  double scale = 1.0;     // device pixels per point
};

// Writes the picture next to `pngPath` and renames it over the target, so a
// reader never sees a partial file. Throws Error when the plug-in has no
// editor, refuses the platform type or the parent, or the file cannot be
// written.
void renderEditor(Plugin& plugin, const std::string& pngPath, const RenderOptions& options);

}  // namespace orvane::host
