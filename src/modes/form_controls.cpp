#include "modes/form_controls.hpp"

#include <cmath>

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

}  // namespace tav
