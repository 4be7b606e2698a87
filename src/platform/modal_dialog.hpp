#pragma once
// Modal Dear ImGui dialogs: the loop that runs one until it closes, the
// small window of its own that a dialog gets when there is no window to draw
// it over, and the standard error box.
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>

#include <imgui.h>

#include "display/sdl_handles.hpp"
#include "platform/desktop_scale.hpp"

namespace tav {

// What a dialog is drawn over when that is more than black: a window whose
// animation keeps running behind the dialog.
class ModalBackdrop {
 public:
  // Runs what is due behind the dialog (a frame of the animation) and
  // presents the window with drawDialog() called over it, with the dialog's
  // latest state. Answers how long the dialog's loop may wait for input.
  virtual uint32_t ShowBehind(const std::function<void()>& drawDialog) = 0;

 protected:
  ~ModalBackdrop() = default;
};

// Runs a dialog until frame() answers false. frame() draws the dialog's
// widgets between NewFrame and Render. Without a backdrop the dialog is
// drawn over black and nothing else is drawn meanwhile.
// scale: how much larger than designed the window was made (DialogWindow's
// scale); 0 for the desktop's, as a dialog drawn over a full screen takes.
void RunModal(SDL_Window* window, SDL_Renderer* renderer, const std::function<bool()>& frame,
              ModalBackdrop* backdrop = nullptr, float scale = 0);

// ImGui keeps copies of the text being edited (and its undo buffer) in its
// own state; a password must not outlive the dialog there either.
void WipeTextState();

inline constexpr ImGuiWindowFlags kDialogFlags = ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoResize |
                                                 ImGuiWindowFlags_NoMove | ImGuiWindowFlags_AlwaysAutoResize |
                                                 ImGuiWindowFlags_NoSavedSettings;

// Places the next ImGui window in the middle of the dialog's display.
void CentreNextWindow(SDL_Renderer* renderer);

// A window that keeps its size, at fit (PlaceNewWindow), hidden unless
// flags say otherwise; null on failure (SDL_GetError). Its minimum and
// maximum sizes are its size, which tiling compositors take for a window
// to float rather than tile; a dialog is also typed as one for the X
// window manager.
SDL_Window* CreateFixedSizeWindow(const char* title, const WindowFit& fit, Uint32 flags, bool dialog);

// SDL_ShowWindow, then for a window that keeps its size (min = max) those
// sizes once more: SDL's Wayland back end passes them on only to a window
// that is shown, and the compositor must have them before the first frame
// maps the window.
void ShowWindowOfItsSize(SDL_Window* window);

// A small window of our own above everything for a dialog, hidden until shown.
struct DialogWindow {
  // w x h designed units, made larger by the desktop's scale; raises
  // std::runtime_error.
  DialogWindow(const char* title, int w, int h);
  SdlWindow window;
  float scale = 1;  // pixels per designed unit of the window
  SdlRenderer renderer;  // after the window: it goes first
};

// Where the error box goes: in window over backdrop (or black) when a
// window and renderer are given, else in a small window of its own, in
// front and with the keyboard focus, above parent when there is one.
struct ErrorBoxPlace {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  ModalBackdrop* backdrop = nullptr;
  SDL_Window* parent = nullptr;
  uint32_t closeAfterMs = 0;  // closes by itself after so long; 0: never
};

// The standard error box: caption, message and OK; Enter and Esc close it.
void ShowErrorBox(const std::string& caption, const std::string& message, const ErrorBoxPlace& place = {});

}  // namespace tav
