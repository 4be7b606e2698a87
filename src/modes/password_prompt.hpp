#pragma once
// The password dialog (Dear ImGui) that the full-screen and preview windows
// ask before the saver ends.
#include <SDL.h>

#include <chrono>
#include <functional>
#include <optional>

#include "platform/modal_dialog.hpp"
#include "desktop/password.hpp"

namespace tav {

// The password dialog: a masked field with OK and Cancel (Enter and Esc).
// Drawn over a black screen in the given window and renderer (the
// full-screen window keeps its grabs, so the keys reach the dialog), or,
// without them, in a small window of its own above everything else that
// holds the keyboard while it is open. It runs its own modal loop: no
// frames are drawn meanwhile, unless a backdrop (platform/modal_dialog) serves
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

// A masked text field for a password: label above, Enter answers true.
// focus puts the keyboard focus into it.
bool PasswordField(const char* label, SecureString& text, bool focus);

}  // namespace tav
