#pragma once
// The windowed side of the screen-saver host services: the password dialog
// (Dear ImGui), the password-change mode, and the "screen saver running"
// flag, which here grabs keyboard and mouse for the full-screen window.
#include <SDL.h>

#include <chrono>
#include <functional>
#include <optional>

#include "app/modal_dialog.hpp"
#include "preview/host_services.hpp"

namespace tav {

// Sets (grabs keyboard and mouse for window, and gives it the input focus)
// or clears (lets both go) the flag. Answers whether the grabs took.
bool ScreenSaverRunning(SDL_Window* window, bool running);

// The password dialog: a masked field with OK and Cancel (Enter and Esc).
// Drawn over a black screen in the given window and renderer (the
// full-screen window keeps its grabs, so the keys reach the dialog), or,
// without them, in a small window of its own above everything else that
// holds the keyboard while it is open. It runs its own modal loop: no
// frames are drawn meanwhile, unless a backdrop (app/modal_dialog) serves
// them and presents the dialog.
class SdlPasswordPrompt final : public PasswordPrompt {
 public:
  SdlPasswordPrompt(SDL_Window* window = nullptr, SDL_Renderer* renderer = nullptr,
                    ModalBackdrop* backdrop = nullptr)
      : window_(window), renderer_(renderer), backdrop_(backdrop) {}
  std::optional<SecureString> Ask() override;
  // The notice in the same place; input made meanwhile is dropped, so that
  // the saver goes back to its animation rather than straight to the dialog.
  void WrongPassword(std::chrono::milliseconds delay) override;

 private:
  // Runs frame() modally in the given window or in one of our own.
  void Run(const std::function<bool(SDL_Renderer*)>& frame);

  SDL_Window* window_;
  SDL_Renderer* renderer_;
  ModalBackdrop* backdrop_;
};

}  // namespace tav
