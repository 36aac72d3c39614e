// orvane-host: cleans audio files through a VST 3 bundle, one or many at a
// time; lists what a bundle offers; saves and loads component states; draws
// the editor; runs the built-in demo.
#include <csignal>
#include <cstdio>

#include "cli/commands.h"
#include "cli/environment.h"

using namespace orvane::host;

namespace {

std::atomic<bool> gCancel{false};
volatile std::sig_atomic_t gSignal = 0;

// The first interrupt stops at the next block, so that outputs being written
// are removed rather than left half done; a second one ends the process.
void onSignal(int signal) {
  gSignal = signal;
  gCancel.store(true);
}

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

int run(const Options& o) {
  if (!o.language.empty())
    useLanguageForThisRun(o.language);
  else if (o.command == "demo")
    useLanguageForThisRun("en");
  if (o.command == "process") return processCommand(o, gCancel);
  if (o.command == "info") return infoCommand(o);
  if (o.command == "state") return stateCommand(o);
  if (o.command == "render") return renderCommand(o);
  if (o.command == "show") return showCommand(o);
  return demoCommand(o);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseCommandLine(argc, argv);
  catchInterrupts();
  int status;
  try {
    status = run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-host: %s\n", e.what());
    status = 1;
  }
  if (gSignal) {
    std::fprintf(stderr, "orvane-host: stopped by signal %d; unfinished outputs removed\n",
                 static_cast<int>(gSignal));
    return 128 + gSignal;
  }
  return status;
}
