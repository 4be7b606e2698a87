#include "modes/password_prompt.hpp"

#include <imgui.h>

#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "desktop/screen_saver_running.hpp"
#include "display/sdl_handles.hpp"
#include "platform/application.hpp"
#include "platform/modal_dialog.hpp"

namespace tav {

namespace {

// Keys, buttons and moves made until now.
void DropInput() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
}


}  // namespace

bool PasswordField(const char* label, SecureString& text, bool focus) {
  ImGui::TextUnformatted(label);
  if (focus) ImGui::SetKeyboardFocusHere();
  ImGui::PushID(label);
  ImGui::SetNextItemWidth(260);
  const bool enter = ImGui::InputText("##field", text.Buffer(), SecureString::kCapacity,
                                      ImGuiInputTextFlags_Password | ImGuiInputTextFlags_EnterReturnsTrue);
  ImGui::PopID();
  return enter;
}

void SdlPasswordPrompt::Run(const std::function<bool(SDL_Renderer*)>& frame) {
  std::optional<DialogWindow> own;
  SDL_Window* window = window_;
  SDL_Renderer* renderer = renderer_;
  if (!window || !renderer) {
    own.emplace(kApplicationTitle, 340, 110);
    window = own->window.get();
    renderer = own->renderer.get();
    ShowWindowOfItsSize(window);
    SDL_RaiseWindow(window);
    ScreenSaverRunning(window, true);  // the keyboard is the dialog's while it is open
  }
  RunModal(window, renderer, [&] { return frame(renderer); }, own ? nullptr : backdrop_, own ? own->scale : 0);
  if (own) ScreenSaverRunning(window, false);
}

std::optional<SecureString> SdlPasswordPrompt::Ask() {
  SecureString typed;
  bool ok = false;
  bool first = true;
  Run([&](SDL_Renderer* renderer) {
    CentreNextWindow(renderer);
    bool open = true;
    ImGui::Begin(kApplicationTitle, nullptr, kDialogFlags);
    if (PasswordField("Password:", typed, first)) ok = true;
    first = false;
    if (ImGui::Button("OK", ImVec2(80, 0))) ok = true;
    ImGui::SameLine();
    if (ImGui::Button("Cancel", ImVec2(80, 0)) || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape)))
      open = false;
    ImGui::End();
    return open && !ok;
  });
  if (!ok) return std::nullopt;
  return typed;
}

void SdlPasswordPrompt::WrongPassword(std::chrono::milliseconds delay) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + delay;
  Run([&](SDL_Renderer* renderer) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    CentreNextWindow(renderer);
    ImGui::Begin(kApplicationTitle, nullptr, kDialogFlags);
    ImGui::TextUnformatted(WrongPasswordNotice(left).c_str());
    ImGui::End();
    if (left.count() > 0) return true;
    DropInput();  // while the window that got it is still there
    return false;
  });
  // Closing the notice early does not shorten the wait; only ending the
  // program does.
  if (!SDL_HasEvent(SDL_QUIT)) std::this_thread::sleep_until(end);
  DropInput();
}

// ---- the password-change mode ----------------------------------------------

}  // namespace tav
