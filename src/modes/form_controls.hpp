#pragma once
// The look the settings window and its save dialog share: the host's fonts,
// its grey controls, the dotted focus frame, and designed lengths on a
// scaled desktop.
#include <SDL.h>
#include <imgui.h>

#include <memory>

#include "display/sdl_handles.hpp"
#include "platform/imgui_support.hpp"

namespace tav {

inline constexpr const char* kDejaVuBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
inline constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr const char* kLiberationBold = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";

// The host's grey for buttons and fields, no padding or rounding.
void StyleControls();
// A borderless ImGui window over the whole client area (black: no background).
void BeginClientArea(const char* id, int width, int height, bool black);
// The dotted frame the host draws around the control that has the focus.
void FocusFrame(ImVec2 min, ImVec2 max);

inline bool Shift(const SDL_KeyboardEvent& k) { return (k.keysym.mod & KMOD_SHIFT) != 0; }

// A designed length on a desktop of the given scale, in window pixels.
int Scaled(int length, float scale);

// Opens a window of width x height designed units (made larger by the
// desktop's scale, less where the monitor is too small for that; it keeps
// its size, and a dialog is typed as one) with our icon, its renderer and its ImGui context, which
// becomes the current one with the controls' style; the renderer scales
// everything laid out in designed units. Raises std::runtime_error, what
// naming the window.
void OpenFormWindow(const char* caption, int width, int height, Uint32 flags, const char* what,
                    SdlWindow& window, SdlRenderer& renderer, std::unique_ptr<ImGuiWindowContext>& imgui,
                    bool dialog);

}  // namespace tav
