#include "modes/form_controls.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "display/dxdraw.hpp"
#include "platform/desktop_scale.hpp"
#include "platform/modal_dialog.hpp"
#include "platform/window_icon.hpp"

namespace tav {

void StyleControls() {
  ImGuiStyle& s = ImGui::GetStyle();
  s.WindowPadding = ImVec2(0, 0);
  s.WindowBorderSize = 0;
  s.FrameRounding = 0;
  s.FramePadding = ImVec2(2, 2);
  s.ItemSpacing = ImVec2(0, 0);
  s.Colors[ImGuiCol_Button] = ImVec4(0.75f, 0.75f, 0.75f, 1);
  s.Colors[ImGuiCol_ButtonHovered] = ImVec4(0.82f, 0.82f, 0.82f, 1);
  s.Colors[ImGuiCol_ButtonActive] = ImVec4(0.6f, 0.6f, 0.6f, 1);
}

void BeginClientArea(const char* id, int width, int height, bool black) {
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(ImVec2(static_cast<float>(width), static_cast<float>(height)));
  ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                           ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus;
  if (black) flags |= ImGuiWindowFlags_NoBackground;
  ImGui::Begin(id, nullptr, flags);
}

void FocusFrame(ImVec2 min, ImVec2 max) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  const ImU32 c = IM_COL32(255, 255, 255, 200);
  for (float x = min.x; x < max.x; x += 2) {
    dl->AddRectFilled(ImVec2(x, min.y), ImVec2(x + 1, min.y + 1), c);
    dl->AddRectFilled(ImVec2(x, max.y - 1), ImVec2(x + 1, max.y), c);
  }
  for (float y = min.y; y < max.y; y += 2) {
    dl->AddRectFilled(ImVec2(min.x, y), ImVec2(min.x + 1, y + 1), c);
    dl->AddRectFilled(ImVec2(max.x - 1, y), ImVec2(max.x, y + 1), c);
  }
}

int Scaled(int length, float scale) { return static_cast<int>(std::lround(length * scale)); }

void OpenFormWindow(const char* caption, int width, int height, Uint32 flags, const char* what,
                    SdlWindow& window, SdlRenderer& renderer, std::unique_ptr<ImGuiWindowContext>& imgui,
                    bool dialog) {
  const WindowFit fit = PlaceNewWindow(width, height);
  const float scale = fit.scale;
  window.reset(CreateFixedSizeWindow(caption, fit, flags, dialog));
  if (!window) throw std::runtime_error(std::string(what) + ": " + SDL_GetError());
  SetWindowIcon(window.get());
  renderer = CreateWindowRenderer(window.get());
  imgui = std::make_unique<ImGuiWindowContext>(window.get(), renderer.get(), scale);
  SDL_RenderSetScale(renderer.get(), imgui->PixelScale(), imgui->PixelScale());
  ImGui::SetCurrentContext(imgui->Context());
  StyleControls();
}

}  // namespace tav
