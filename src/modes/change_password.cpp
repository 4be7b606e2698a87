#include "modes/change_password.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <imgui.h>

#include "desktop/password.hpp"
#include "modes/password_prompt.hpp"
#include "platform/application.hpp"
#include "platform/modal_dialog.hpp"
#include "settings/command_line.hpp"

namespace tav {

int RunChangePassword(int argc, char** argv) {
  Application app(kApplicationTitle);
  const uint32_t parent = argc > 2 ? ParseWindowHandle(argv[2]) : 0;
  const bool askOld = OldPasswordAsked();
  DialogWindow dialog(kApplicationTitle, 380, askOld ? 260 : 210);
  SDL_Window* const window = dialog.window.get();
  SDL_Renderer* const renderer = dialog.renderer.get();
  if (Display* dpy = Application::XDisplayOf(window); dpy && parent != 0) {
    // Above the window that asked for the change; a stale id only costs an
    // X error, which our handler lets pass.
    XSetTransientForHint(dpy, Application::XWindowOf(window), parent);
  }
  ShowWindowOfItsSize(window);
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
      // The login password instead of one of our own: no new one to give.
      ImGui::BeginDisabled(model.UseLogin);
      submit |= PasswordField("New password:", model.NewPassword, focus && !model.AskOld() && !model.UseLogin);
      submit |= PasswordField("Confirm new password:", model.Confirmation, false);
      ImGui::EndDisabled();
      ImGui::Checkbox("Use my login password", &model.UseLogin);
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
  }, nullptr, dialog.scale);
  return 0;
}

}  // namespace tav
