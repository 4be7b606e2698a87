#include "preview/host_dialogs.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <imgui.h>

#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "app/application.hpp"
#include "app/command_line.hpp"
#include "app/modal_dialog.hpp"
#include "app/modes.hpp"
#include "display/sdl_handles.hpp"

namespace tav {

// ---- the running flag ------------------------------------------------------

bool ScreenSaverRunning(SDL_Window* window, bool running) {
  if (!window) return false;
  Display* dpy = Application::XDisplayOf(window);
  const Window xwin = Application::XWindowOf(window);
  if (!dpy || !xwin) {
    SDL_SetWindowKeyboardGrab(window, running ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowMouseGrab(window, running ? SDL_TRUE : SDL_FALSE);
    return true;
  }
  if (!running) {
    XUngrabKeyboard(dpy, CurrentTime);
    XUngrabPointer(dpy, CurrentTime);
    XFlush(dpy);
    return true;
  }
  // Owner events on: our own windows (the error box, the password dialog)
  // still get their input normally; everything else gets none.
  XSetInputFocus(dpy, xwin, RevertToParent, CurrentTime);
  const int k = XGrabKeyboard(dpy, xwin, True, GrabModeAsync, GrabModeAsync, CurrentTime);
  const int p = XGrabPointer(dpy, xwin, True, PointerMotionMask | ButtonPressMask | ButtonReleaseMask,
                             GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  XFlush(dpy);
  return k == GrabSuccess && p == GrabSuccess;
}

// ---- modal ImGui dialogs -----------------------------------------------------

namespace {

// Keys, buttons and moves made until now.
void DropInput() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
}

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

}  // namespace

void SdlPasswordPrompt::Run(const std::function<bool(SDL_Renderer*)>& frame) {
  std::optional<DialogWindow> own;
  SDL_Window* window = window_;
  SDL_Renderer* renderer = renderer_;
  if (!window || !renderer) {
    own.emplace(kApplicationTitle, 340, 110);
    window = own->window.get();
    renderer = own->renderer.get();
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    ScreenSaverRunning(window, true);  // the keyboard is the dialog's while it is open
  }
  RunModal(window, renderer, [&] { return frame(renderer); }, own ? nullptr : backdrop_);
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

int RunChangePassword(int argc, char** argv) {
  Application app(kApplicationTitle);
  const uint32_t parent = argc > 2 ? ParseWindowHandle(argv[2]) : 0;
  const bool askOld = PasswordHashStored();
  DialogWindow dialog(kApplicationTitle, 380, askOld ? 230 : 180);
  SDL_Window* const window = dialog.window.get();
  SDL_Renderer* const renderer = dialog.renderer.get();
  if (Display* dpy = Application::XDisplayOf(window); dpy && parent != 0) {
    // Above the window that asked for the change; a stale id only costs an
    // X error, which our handler ignores.
    XSetTransientForHint(dpy, Application::XWindowOf(window), parent);
  }
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);

  PasswordChangeDialog model(askOld);
  using Stage = PasswordChangeDialog::Stage;
  bool focus = true;
  bool yesFocused = false;  // the removal question starts on No
  RunModal(window, renderer, [&] {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::Begin("Change Password", nullptr, kDialogFlags & ~ImGuiWindowFlags_AlwaysAutoResize);
    const auto pressed = [](ImGuiKey key) { return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key)); };
    const Stage stage = model.CurrentStage();
    if (stage == Stage::Entry) {
      bool submit = false;
      if (model.AskOld()) submit |= PasswordField("Old password:", model.OldPassword, focus);
      submit |= PasswordField("New password:", model.NewPassword, focus && !model.AskOld());
      submit |= PasswordField("Confirm new password:", model.Confirmation, false);
      focus = false;
      ImGui::TextUnformatted(model.Message().c_str());
      if (ImGui::Button("OK", ImVec2(80, 0))) submit = true;
      ImGui::SameLine();
      if (ImGui::Button("Cancel", ImVec2(80, 0)) || pressed(ImGuiKey_Escape)) model.CancelClick();
      if (submit) {
        model.OKClick();
        WipeTextState();
        focus = true;
        yesFocused = false;
      }
    } else {
      ImGui::PushTextWrapPos(ImGui::GetIO().DisplaySize.x - 10);
      ImGui::TextUnformatted(model.Message().c_str());
      ImGui::PopTextWrapPos();
      ImGui::Spacing();
      if (stage == Stage::ConfirmRemoval) {
        // Enter and Space press the framed button, Esc says No.
        if (pressed(ImGuiKey_Tab) || pressed(ImGuiKey_LeftArrow) || pressed(ImGuiKey_RightArrow))
          yesFocused = !yesFocused;
        bool yes = ImGui::Button("Yes", ImVec2(80, 0));
        if (yesFocused) ImGui::GetWindowDrawList()->AddRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), IM_COL32_WHITE);
        ImGui::SameLine();
        bool no = ImGui::Button("No", ImVec2(80, 0));
        if (!yesFocused) ImGui::GetWindowDrawList()->AddRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), IM_COL32_WHITE);
        const bool enter = pressed(ImGuiKey_Enter) || pressed(ImGuiKey_KeyPadEnter) || pressed(ImGuiKey_Space);
        yes |= enter && yesFocused;
        no |= pressed(ImGuiKey_Escape) || (enter && !yesFocused);
        if (yes)
          model.YesClick();
        else if (no)
          model.NoClick();
        if (yes || no) focus = true;
      } else {
        if (ImGui::Button("OK", ImVec2(80, 0)) || pressed(ImGuiKey_Enter) || pressed(ImGuiKey_KeyPadEnter) ||
            pressed(ImGuiKey_Escape))
          model.OKClick();
      }
    }
    ImGui::End();
    return model.Open();
  });
  return 0;
}

}  // namespace tav
