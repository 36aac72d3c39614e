// Modal interaction the editor needs from the platform: alerts, save and open
// panels, and the menu a pop-up button shows. Behind an interface so tests and
// the command-line host can script the user's answers.
#pragma once

#include <deque>
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

class Modal {
 public:
  virtual ~Modal() = default;
  // Blocks until dismissed; returns the index of the button chosen.
  virtual int runAlert(const AlertRequest& request) = 0;
  // The chosen path, or empty when the user cancelled.
  virtual std::optional<std::string> runSavePanel(const FilePanelRequest& request) = 0;
  virtual std::optional<std::string> runOpenPanel(const FilePanelRequest& request) = 0;
  // The chosen item, or empty when the menu was dismissed.
  virtual std::optional<int> runMenu(const MenuRequest& request) = 0;
};

// Answers every request as a user who cancels: alerts with their default
// button, panels and menus with nothing. Used when no other is installed.
class CancellingModal : public Modal {
 public:
  int runAlert(const AlertRequest&) override { return 0; }
  std::optional<std::string> runSavePanel(const FilePanelRequest&) override { return std::nullopt; }
  std::optional<std::string> runOpenPanel(const FilePanelRequest&) override { return std::nullopt; }
  std::optional<int> runMenu(const MenuRequest&) override { return std::nullopt; }
};

// Plays back queued answers and records every request. An empty queue answers
// as CancellingModal does.
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

  int runAlert(const AlertRequest& r) override;
  std::optional<std::string> runSavePanel(const FilePanelRequest& r) override;
  std::optional<std::string> runOpenPanel(const FilePanelRequest& r) override;
  std::optional<int> runMenu(const MenuRequest& r) override;
};

}  // namespace orvane::tk
