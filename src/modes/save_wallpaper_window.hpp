#pragma once
// The save-wallpaper dialog on screen: an SDL window with Dear ImGui
// controls around a TOKRightDlg model (name field, drive, folder and file
// lists, file type, "Set as desktop background", Save and Cancel).
#include <SDL.h>

#include <memory>

#include "modes/save_wallpaper_dialog.hpp"
#include "platform/application.hpp"

namespace tav {

class SaveDialogWindow {
 public:
  virtual ~SaveDialogWindow() = default;
  // Opens the window for dialog, in front; raises std::runtime_error.
  static std::unique_ptr<SaveDialogWindow> Open(Application& app, TOKRightDlg& dialog);

  virtual Uint32 Id() const = 0;  // SDL's id of the window
  virtual TOKRightDlg& Dialog() = 0;
  // An event of this window: one frame of the controls, then the handler it triggered.
  virtual void HandleEvent(const SDL_Event& e) = 0;
};

}  // namespace tav
