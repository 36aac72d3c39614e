// Modal interaction the editor needs from the platform: alerts, save and open
// panels, and the menu a pop-up button shows. Behind an interface so tests and
// the command-line host can script the user's answers.
//
// Every request answers through a completion callback instead of a return
// value: inside a host nothing may block the host's thread while the user
// decides, so an implementation may call back later, from the run loop. A
// scripted implementation calls back at once, before the request returns. A
// request whose answer can no longer arrive (its window closed) never calls
// back; callers capture weak references accordingly.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/toolkit/geometry.h"

namespace orvane::tk {

struct AlertRequest {
  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;  // first is the default
};

struct FilePanelRequest {
  std::string title;
  std::string prompt;
  std::string allowedFileType;  // extension without the dot
  std::string proposedName;     // save panels only
};

struct MenuRequest {
  std::vector<std::string> items;
  int selectedIndex = -1;
  Rect anchorInWindow;
};

// What a file panel ended with: a chosen path, a cancel (no path), or no
// panel at all because the platform has none to show (`unavailable`).
struct PanelAnswer {
  std::optional<std::string> path;
  bool unavailable = false;
};

class Modal {
 public:
  using AlertDone = std::function<void(int button)>;
  using PanelDone = std::function<void(const PanelAnswer&)>;
  using MenuDone = std::function<void(std::optional<int> item)>;

  virtual ~Modal() = default;
  // `done` receives the index of the button chosen; it may be empty.
  virtual void runAlert(const AlertRequest& request, AlertDone done) = 0;
  virtual void runSavePanel(const FilePanelRequest& request, PanelDone done) = 0;
  virtual void runOpenPanel(const FilePanelRequest& request, PanelDone done) = 0;
  // `done` receives the chosen item, or nothing when the menu was dismissed.
  virtual void runMenu(const MenuRequest& request, MenuDone done) = 0;
};

// Answers every request at once as a user who cancels: alerts with their
// default button, panels and menus with nothing. Used when no other is
// installed.
class CancellingModal : public Modal {
 public:
  void runAlert(const AlertRequest& request, AlertDone done) override;
  void runSavePanel(const FilePanelRequest& request, PanelDone done) override;
  void runOpenPanel(const FilePanelRequest& request, PanelDone done) override;
  void runMenu(const MenuRequest& request, MenuDone done) override;
};

// Plays back queued answers at once and records every request. An empty
// queue answers as CancellingModal does.
class ScriptedModal : public Modal {
 public:
  std::deque<int> alertAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<int>> menuAnswers;

  std::vector<AlertRequest> alerts;
  std::vector<FilePanelRequest> savePanels;
  std::vector<FilePanelRequest> openPanels;
  std::vector<MenuRequest> menus;

  void runAlert(const AlertRequest& request, AlertDone done) override;
  void runSavePanel(const FilePanelRequest& request, PanelDone done) override;
  void runOpenPanel(const FilePanelRequest& request, PanelDone done) override;
  void runMenu(const MenuRequest& request, MenuDone done) override;
};

}  // namespace orvane::tk
