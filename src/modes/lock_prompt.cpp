#include "modes/lock_prompt.hpp"

#include <imgui.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "desktop/lock_prompt_model.hpp"
#include "desktop/login_password.hpp"
#include "display/sdl_handles.hpp"
#include "display/x11_handles.hpp"
#include "lock/lock_protocol.hpp"
#include "modes/hosted_window.hpp"
#include "modes/lock_child.hpp"
#include "platform/application.hpp"
#include "platform/imgui_support.hpp"
#include "platform/modal_dialog.hpp"

namespace tav {

namespace {

// Frames are drawn this often; keys wait no longer than one frame.
constexpr int kFrameMs = 30;
constexpr uint32_t kFollowIntervalMs = 50;

enum class Input { Waiting, Verified, Closed };

// Every key record that is waiting on stdin, applied in turn.
Input ReadKeys(LockPromptModel& model) {
  for (;;) {
    pollfd pfd{0, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0) return Input::Waiting;
    lock::KeyRecord key;
    const lock::ReadResult r = lock::ReadKeyRecord(0, key);
    if (r != lock::ReadResult::Key) {
      explicit_bzero(&key, sizeof key);
      return Input::Closed;  // the holder closed the pipe, or sent what it never would
    }
    const LockPromptModel::Outcome outcome = model.Apply(key, LockPromptModel::Clock::now());
    explicit_bzero(&key, sizeof key);  // the text was part of the password
    if (outcome == LockPromptModel::Outcome::Verified) {
      return lock::WriteResultRecord(lock::kChildFd, lock::ResultKind::Verified) ? Input::Verified : Input::Closed;
    }
    if (outcome == LockPromptModel::Outcome::Wrong &&
        !lock::WriteResultRecord(lock::kChildFd, lock::ResultKind::Wrong))
      return Input::Closed;
  }
}

void DrawDialog(SDL_Renderer* renderer, const std::string& user, bool unreadable, LockPromptModel& model) {
  CentreNextWindow(renderer);
  ImGui::Begin(kApplicationTitle, nullptr, kDialogFlags);
  if (unreadable) ImGui::TextUnformatted(kUnreadableSettingsNotice);
  ImGui::Text("User: %s", user.c_str());
  ImGui::TextUnformatted("Password:");
  ImGui::SetNextItemWidth(260);
  // Read-only and never focused: the keys come from the holder, not from
  // ImGui, and the shown text is only its masked length.
  ImGui::InputText("##field", const_cast<char*>(model.Typed().c_str()), SecureString::kCapacity,
                   ImGuiInputTextFlags_Password | ImGuiInputTextFlags_ReadOnly);
  if (model.CapsLockOn()) ImGui::TextUnformatted("Caps Lock is on");
  const std::string notice = model.Notice(LockPromptModel::Clock::now());
  if (!notice.empty()) ImGui::TextUnformatted(notice.c_str());
  ImGui::End();
}

}  // namespace

int RunLockPrompt(int argc, char** argv) {
  lock::MakeNonDumpable();
  unsigned long window = 0;
  int failures = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--window") window = std::strtoul(argv[++i], nullptr, 10);
    else if (arg == "--failures") failures = std::atoi(argv[++i]);
  }
  if (window == 0) {
    std::fprintf(stderr, "tavorensia: --lock-prompt needs --window ID\n");
    return 2;
  }
  // SIGTERM must end us with its own status, not as SDL's clean quit.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  LockChild child(LockChild::Renderer::Software);
  const std::vector<std::unique_ptr<HostedWindow>> windows = LockChild::HostIn({window});
  if (windows.empty()) return 1;
  HostedWindow* const hosted = windows.front().get();
  SdlRenderer renderer(SDL_CreateRenderer(hosted->Window(), -1, SDL_RENDERER_SOFTWARE));
  if (!renderer) {
    std::fprintf(stderr, "tavorensia: %s\n", SDL_GetError());
    return 1;
  }
  ImGuiWindowContext imgui(hosted->Window(), renderer.get());
  LoadControlFont(imgui);
  const std::string user = LoginUserName();
  const char* unreadableAtStart = std::getenv(kSettingsUnreadableVariable);
  const bool unreadable =
      (unreadableAtStart && *unreadableAtStart == '1') || ReadStoredLock() == StoredLock::Unreadable;
  LockPromptModel model(failures, [unreadable](const SecureString& typed) {
    return CheckStoredLockPassword(typed, unreadable);
  });
  uint32_t followedAt = 0;
  for (;;) {
    switch (ReadKeys(model)) {
      case Input::Verified: return 0;
      case Input::Closed: return 1;
      case Input::Waiting: break;
    }
    // Nothing from SDL is input here; the queue is only kept from filling.
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    if (SDL_GetTicks() - followedAt >= kFollowIntervalMs) {
      followedAt = SDL_GetTicks();
      if (!hosted->Follow()) return 1;
    }
    SDL_SetRenderDrawColor(renderer.get(), 0, 0, 0, 255);
    SDL_RenderClear(renderer.get());
    imgui.NewFrame();
    DrawDialog(renderer.get(), user, unreadable, model);
    imgui.Render();
    SDL_RenderPresent(renderer.get());
    pollfd pfd{0, POLLIN, 0};
    poll(&pfd, 1, kFrameMs);  // wakes early for the next key
  }
}

}  // namespace tav
