#include "app/imgui_support.hpp"

#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

#include <filesystem>

namespace tav {

ImGuiWindowContext::ImGuiWindowContext(SDL_Window* window, SDL_Renderer* renderer) : renderer_(renderer) {
  IMGUI_CHECKVERSION();
  context_ = ImGui::CreateContext();
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // the program writes no files besides wallpapers
  io.LogFilename = nullptr;
  ImGui::StyleColorsDark();
  LoadControlFont();
  ImGui_ImplSDL2_InitForSDLRenderer(window);
  ImGui_ImplSDLRenderer_Init(renderer);
}

ImGuiWindowContext::~ImGuiWindowContext() {
  ImGui::SetCurrentContext(context_);
  ImGui_ImplSDLRenderer_Shutdown();
  ImGui_ImplSDL2_Shutdown();
  ImGui::DestroyContext(context_);
}

bool ImGuiWindowContext::ProcessEvent(const SDL_Event& event) {
  ImGui::SetCurrentContext(context_);
  ImGui_ImplSDL2_ProcessEvent(&event);
  const ImGuiIO& io = ImGui::GetIO();
  return io.WantCaptureMouse || io.WantCaptureKeyboard;
}

void ImGuiWindowContext::NewFrame() {
  ImGui::SetCurrentContext(context_);
  ImGui_ImplSDLRenderer_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
}

void ImGuiWindowContext::Render() {
  EndFrame();
  Draw();
}

void ImGuiWindowContext::EndFrame() {
  ImGui::SetCurrentContext(context_);
  ImGui::Render();
}

void ImGuiWindowContext::Draw() {
  ImGui::SetCurrentContext(context_);
  if (ImDrawData* d = ImGui::GetDrawData()) ImGui_ImplSDLRenderer_RenderDrawData(d);
}

void LoadControlFont() {
  static const char* const kFonts[] = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
      "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
  };
  ImGuiIO& io = ImGui::GetIO();
  for (const char* path : kFonts) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && io.Fonts->AddFontFromFileTTF(path, 13.0f)) return;
  }
  io.Fonts->AddFontDefault();
}

}  // namespace tav
