#include "platform/modal_dialog.hpp"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/desktop_scale.hpp"
#include "platform/imgui_support.hpp"
#include "platform/window_icon.hpp"
#include "display/dxdraw.hpp"

namespace tav {

void WipeTextState() {
  ImGuiContext* g = ImGui::GetCurrentContext();
  if (!g) return;
  ImGui::ClearActiveID();  // the field lets go of its copy
  ImGuiInputTextState& s = g->InputTextState;
  if (s.TextW.Data) std::memset(s.TextW.Data, 0, static_cast<size_t>(s.TextW.Capacity) * sizeof(ImWchar));
  if (s.TextA.Data) std::memset(s.TextA.Data, 0, static_cast<size_t>(s.TextA.Capacity));
  if (s.InitialTextA.Data) std::memset(s.InitialTextA.Data, 0, static_cast<size_t>(s.InitialTextA.Capacity));
  std::memset(static_cast<void*>(&s.Stb), 0, sizeof(s.Stb));
}

void RunModal(SDL_Window* window, SDL_Renderer* renderer, const std::function<bool()>& frame,
              ModalBackdrop* backdrop, float scale) {
  // Scaled for the desktop: a dialog window of our own was made that much
  // larger; over the full-screen animation the dialog simply draws larger.
  ImGuiWindowContext ui(window, renderer, scale > 0 ? scale : WindowScale());
  // The key that opened the dialog must not type into it.
  SDL_FlushEvents(SDL_KEYDOWN, SDL_TEXTINPUT);
  const Uint32 id = SDL_GetWindowID(window);
  bool open = true;
  bool quit = false;
  // A short wait: the caret blinks and the dialog stays responsive. A
  // backdrop may ask for less (its next frame).
  constexpr uint32_t kLongestWait = 100;
  uint32_t wait = kLongestWait;
  while (open) {
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, static_cast<int>(std::min(wait, kLongestWait)))) {
      for (;;) {
        if (e.type == SDL_QUIT) {
          open = false;
          quit = true;
        }
        if (e.type == SDL_WINDOWEVENT && e.window.windowID == id && e.window.event == SDL_WINDOWEVENT_CLOSE)
          open = false;
        ui.ProcessEvent(e);
        // This ImGui reads keys and buttons as states, not as a queue: a press
        // and its release within one frame would never be seen. One press
        // per frame, then the rest.
        if (e.type == SDL_KEYDOWN || e.type == SDL_MOUSEBUTTONDOWN) break;
        if (!SDL_PollEvent(&e)) break;
      }
    }
    if (!open) break;
    ui.NewFrame();
    open = frame();
    if (backdrop) {
      ui.EndFrame();
      wait = backdrop->ShowBehind([&] { ui.Draw(); });
    } else {
      SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
      SDL_RenderClear(renderer);
      ui.Render();
      SDL_RenderPresent(renderer);
    }
  }
  WipeTextState();
  // A request to end the program closes the dialog (as Cancel) and is kept
  // for the event loop.
  if (quit) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
  }
}

void CentreNextWindow(SDL_Renderer*) {
  const ImVec2 size = ImGui::GetIO().DisplaySize;  // in the dialog's designed units
  ImGui::SetNextWindowPos(ImVec2(size.x * 0.5f, size.y * 0.5f), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
}

SDL_Window* CreateFixedSizeWindow(const char* title, const WindowFit& fit, Uint32 flags, bool dialog) {
  // SDL reads the X window type when it makes the window, before it is
  // mapped: a window manager looks at it only then.
  const char* const typeHint = SDL_GetHint(SDL_HINT_X11_WINDOW_TYPE);
  const std::string previous = typeHint ? typeHint : "";
  if (dialog) SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, "_NET_WM_WINDOW_TYPE_DIALOG");
  SDL_Window* const window =
      SDL_CreateWindow(title, fit.rect.x, fit.rect.y, fit.rect.w, fit.rect.h, flags | kScaledWindowFlags);
  if (dialog && typeHint)
    SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, previous.c_str());
  else if (dialog)
    SDL_ResetHint(SDL_HINT_X11_WINDOW_TYPE);
  if (!window) return nullptr;
  SDL_SetWindowMinimumSize(window, fit.rect.w, fit.rect.h);
  SDL_SetWindowMaximumSize(window, fit.rect.w, fit.rect.h);
  return window;
}

void ShowWindowOfItsSize(SDL_Window* window) {
  SDL_ShowWindow(window);
  int minW = 0, minH = 0, maxW = 0, maxH = 0;
  SDL_GetWindowMinimumSize(window, &minW, &minH);
  SDL_GetWindowMaximumSize(window, &maxW, &maxH);
  if (minW <= 0 || minH <= 0 || minW != maxW || minH != maxH) return;
  SDL_SetWindowMinimumSize(window, minW, minH);
  SDL_SetWindowMaximumSize(window, maxW, maxH);
}

DialogWindow::DialogWindow(const char* title, int w, int h) {
  const WindowFit fit = PlaceNewWindow(w, h);
  scale = fit.scale;
  window.reset(CreateFixedSizeWindow(title, fit, SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN, true));
  if (!window) throw std::runtime_error(SDL_GetError());
  SetWindowIcon(window.get());
  renderer = CreateWindowRenderer(window.get());
  if (!renderer) throw std::runtime_error(SDL_GetError());
}

namespace {

// The message wraps at this width; a window of its own is made to fit it.
constexpr float kMessageWidth = 360;

// Lines of the wrapped message, estimated before any font is loaded
// (13 px bold averages under 8 px a character).
int EstimatedLines(const std::string& message) {
  int lines = 0;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(message.find('\n', start), message.size());
    lines += std::max<int>(1, static_cast<int>((end - start + 44) / 45));
    if (end >= message.size()) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace

void ShowErrorBox(const std::string& caption, const std::string& message, const ErrorBoxPlace& place) {
  SDL_Window* window = place.window;
  SDL_Renderer* renderer = place.renderer;
  SDL_Window* parent = place.parent;
  const Uint32 opened = SDL_GetTicks();
  std::optional<DialogWindow> own;
  const bool fill = !window || !renderer;
  if (fill) {
    const int height = std::min(70 + 16 * EstimatedLines(message), 600);
    own.emplace(caption.c_str(), static_cast<int>(kMessageWidth) + 24, height);
    window = own->window.get();
    renderer = own->renderer.get();
    if (parent) {
      // Over the middle of the window it belongs to.
      int x = 0, y = 0, w = 0, h = 0, bw = 0, bh = 0;
      SDL_GetWindowPosition(parent, &x, &y);
      SDL_GetWindowSize(parent, &w, &h);
      SDL_GetWindowSize(window, &bw, &bh);
      x += (w - bw) / 2;
      y += (h - bh) / 2;
      // Not off the monitor where the window it belongs to reaches past it.
      SDL_Rect area{};
      const int monitor = SDL_GetWindowDisplayIndex(parent);
      if (monitor >= 0 && SDL_GetDisplayUsableBounds(monitor, &area) == 0) {
        x = std::max(area.x, std::min(x, area.x + area.w - bw));
        y = std::max(area.y, std::min(y, area.y + area.h - bh));
      }
      SDL_SetWindowPosition(window, x, y);
      SDL_SetWindowModalFor(window, parent);
    }
    ShowWindowOfItsSize(window);
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);  // Enter and Esc must reach it
  }
  RunModal(
      window, renderer,
      [&] {
        ImGuiWindowFlags flags = kDialogFlags;
        if (fill) {
          // The window's own title bar, which the window manager draws,
          // carries the caption.
          ImGui::SetNextWindowPos(ImVec2(0, 0));
          ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
          flags &= ~ImGuiWindowFlags_AlwaysAutoResize;
          flags |= ImGuiWindowFlags_NoTitleBar;
        } else {
          CentreNextWindow(renderer);
        }
        bool open = true;
        ImGui::Begin(caption.c_str(), nullptr, flags);
        ImGui::PushTextWrapPos(kMessageWidth);
        ImGui::TextUnformatted(message.c_str());
        ImGui::PopTextWrapPos();
        ImGui::Spacing();
        ImGui::SetCursorPosX(std::max((ImGui::GetWindowWidth() - 80) * 0.5f, 0.f));
        if (ImGui::Button("OK", ImVec2(80, 0))) open = false;
        if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter)) ||
            ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter)) ||
            ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape)))
          open = false;
        ImGui::End();
        if (place.closeAfterMs != 0 && SDL_GetTicks() - opened >= place.closeAfterMs) open = false;
        return open;
      },
      fill ? nullptr : place.backdrop, own ? own->scale : 0);
  if (own && parent && (SDL_GetWindowFlags(parent) & SDL_WINDOW_SHOWN)) {
    // The keyboard goes back where it was, also where no window manager
    // would hand it back.
    own.reset();
    SDL_RaiseWindow(parent);
    SDL_SetWindowInputFocus(parent);
  }
}

}  // namespace tav
