#include "editor/toolkit/file_chooser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace orvane::tk {

namespace fs = std::filesystem;

namespace {

// A path longer than this is not an answer but a broken program.
constexpr std::size_t kMaxAnswer = 64 * 1024;

// The folder the last chooser ended in, where the next one opens.
std::string& lastFolder() {
  static std::string folder;
  return folder;
}

std::string startFolder() {
  std::error_code ec;
  if (!lastFolder().empty() && fs::is_directory(lastFolder(), ec)) return lastFolder();
  if (const char* home = std::getenv("HOME"); home && *home && fs::is_directory(home, ec))
    return home;
  return fs::current_path(ec).string();
}

// True when the child is gone (or was never ours to reap: a host that
// ignores SIGCHLD has its children reaped for it, ECHILD).
bool reap(pid_t pid, bool wait) {
  for (;;) {
    const pid_t r = ::waitpid(pid, nullptr, wait ? 0 : WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    return r != 0;
  }
}

}  // namespace

std::string findChooserProgram() {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  for (const char* name : {"zenity", "kdialog"}) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      if (dir.empty()) continue;  // an empty entry would mean the host's working folder
      std::string candidate = dir + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate)) return candidate;
    }
  }
  return {};
}

std::vector<std::string> chooserArguments(const std::string& program, ChooserKind kind,
                                          const FilePanelRequest& request,
                                          const std::string& startPath,
                                          std::uint32_t transientFor) {
  const std::string pattern = "*." + request.allowedFileType;
  const bool save = kind == ChooserKind::Save;
  std::vector<std::string> args;
  if (fs::path(program).filename() == "kdialog") {
    args = {"--title", request.title};
    if (transientFor) args.insert(args.end(), {"--attach", std::to_string(transientFor)});
    args.insert(args.end(), {save ? "--getsavefilename" : "--getopenfilename", startPath, pattern});
    return args;
  }
  args = {"--file-selection", "--title=" + request.title, "--file-filter=" + pattern};
  if (save) args.insert(args.end(), {"--save", "--confirm-overwrite"});
  // zenity takes a folder as a path ending in a slash.
  args.push_back("--filename=" + (save ? startPath : startPath + "/"));
  if (transientFor)
    args.insert(args.end(), {"--modal", "--attach=" + std::to_string(transientFor)});
  return args;
}

FileChooser::~FileChooser() {
  if (fd_ >= 0) {
    loop_.unwatchFd(fd_);
    ::close(fd_);
  }
  for (pid_t pid : {pid_, lingering_})
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      reap(pid, true);
    }
}

bool FileChooser::start(const std::string& program, ChooserKind kind,
                        const FilePanelRequest& request, std::uint32_t transientFor, Done done) {
  if (isRunning() || program.empty()) return false;
  if (lingering_ > 0 && reap(lingering_, false)) lingering_ = -1;
  std::string startPath = startFolder();
  if (kind == ChooserKind::Save) startPath = (fs::path(startPath) / request.proposedName).string();
  std::vector<std::string> args = chooserArguments(program, kind, request, startPath, transientFor);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The read end stays ours alone (close-on-exec); the write end becomes the
  // child's output. Its input and error output go nowhere.
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  if (spawned != 0) {
    ::close(pipe[0]);
    return false;
  }
  ::fcntl(pipe[0], F_SETFL, ::fcntl(pipe[0], F_GETFL) | O_NONBLOCK);
  if (!loop_.watchFd(pipe[0], [this] { readAnswer(); })) {
    ::close(pipe[0]);
    ::kill(pid, SIGKILL);
    reap(pid, true);
    return false;
  }
  pid_ = pid;
  fd_ = pipe[0];
  output_.clear();
  kind_ = kind;
  extension_ = request.allowedFileType;
  done_ = std::move(done);
  return true;
}

void FileChooser::readAnswer() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      if (output_.size() < kMaxAnswer) output_.append(buffer, std::size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // more later
    break;  // end of output, or an error that ends it too
  }
  finish();
}

void FileChooser::finish() {
  loop_.unwatchFd(fd_);
  ::close(fd_);
  fd_ = -1;
  // The program has closed its output: it has answered and is exiting. It
  // is reaped now if it is gone already, else later, never waited for here.
  if (!reap(pid_, false)) {
    if (lingering_ > 0) {
      ::kill(lingering_, SIGKILL);
      reap(lingering_, true);
    }
    lingering_ = pid_;
  }
  pid_ = -1;

  while (!output_.empty() && (output_.back() == '\n' || output_.back() == '\r')) output_.pop_back();
  std::optional<std::string> path;
  if (!output_.empty() && output_.size() < kMaxAnswer && output_.find('\n') == std::string::npos &&
      output_.front() == '/') {
    fs::path chosen(output_);
    if (kind_ == ChooserKind::Save && !extension_.empty() && chosen.extension() != "." + extension_)
      chosen += "." + extension_;
    lastFolder() = chosen.parent_path().string();
    path = chosen.string();
  }
  // The callback may start another chooser, or destroy this one.
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(path);
}

}  // namespace orvane::tk
