// The tool's commands. Each returns the exit status; failures the user must
// see are thrown as host::Error (one line, status 1).
#pragma once

#include <atomic>

#include "options.h"

namespace orvane::host {

int processCommand(const Options& options, const std::atomic<bool>& cancel);
int infoCommand(const Options& options);
int stateCommand(const Options& options);
int renderCommand(const Options& options);
int showCommand(const Options& options);
int demoCommand(const Options& options);

}  // namespace orvane::host
