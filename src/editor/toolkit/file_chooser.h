// The desktop's file chooser, run as a child process: zenity, else kdialog,
// whichever is found first on PATH. The chosen path is what the program
// prints; it is read through the host loop as it arrives, so the host's
// thread never waits for the user. User-interface thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/toolkit/host_loop.h"
#include "editor/toolkit/modal.h"

namespace orvane::tk {

enum class ChooserKind { Save, Open };

// The chooser program on PATH ("zenity" before "kdialog") as a full path, or
// empty when there is none.
std::string findChooserProgram();

// The command line (without the program) that asks `program` (its file name
// decides the dialect) for a file. `startPath` is the folder, or for a save
// the proposed file in it; `transientFor` a window id the dialog should stay
// above, 0 for none.
std::vector<std::string> chooserArguments(const std::string& program, ChooserKind kind,
                                          const FilePanelRequest& request,
                                          const std::string& startPath, std::uint32_t transientFor);

class FileChooser {
 public:
  using Done = std::function<void(std::optional<std::string> path)>;

  explicit FileChooser(HostLoop& loop) : loop_(loop) {}
  // Ends a chooser still running: it is killed and reaped, and its answer
  // never delivered.
  ~FileChooser();
  FileChooser(const FileChooser&) = delete;
  FileChooser& operator=(const FileChooser&) = delete;

  // Starts `program` asking for a file; `done` gets the chosen path (for a
  // save, with the allowed extension added when the name lacks it) or
  // nothing when the user cancelled or the program failed. False when the
  // program cannot be started (done is not called then).
  bool start(const std::string& program, ChooserKind kind, const FilePanelRequest& request,
             std::uint32_t transientFor, Done done);
  bool isRunning() const { return pid_ > 0; }

 private:
  void readAnswer();
  void finish();
  HostLoop& loop_;
  pid_t pid_ = -1;
  pid_t lingering_ = -1;  // answered but not yet exited when last seen
  int fd_ = -1;
  std::string output_;
  ChooserKind kind_ = ChooserKind::Open;
  std::string extension_;
  Done done_;
};

}  // namespace orvane::tk
