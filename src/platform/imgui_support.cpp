#include "platform/imgui_support.hpp"

#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

#include <cfloat>
#include <cmath>
#include <filesystem>

#include "platform/desktop_scale.hpp"

namespace tav {

ImGuiWindowContext::ImGuiWindowContext(SDL_Window* window, SDL_Renderer* renderer, float windowScale)
    : window_(window), renderer_(renderer), windowScale_(windowScale > 0 ? windowScale : 1) {
  IMGUI_CHECKVERSION();
  context_ = ImGui::CreateContext();
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // the program writes no files besides wallpapers
  io.LogFilename = nullptr;
  ImGui::StyleColorsDark();
  // Pixels per designed unit: the window's own enlargement on X11, and on
  // Wayland the larger drawable the compositor's scale gives us.
  int windowW = 0, windowH = 0, outputW = 0, outputH = 0;
  SDL_GetWindowSize(window, &windowW, &windowH);
  if (renderer && SDL_GetRendererOutputSize(renderer, &outputW, &outputH) == 0 && windowW > 0)
    pixelScale_ = windowScale_ * RoundedScale(static_cast<double>(outputW) / windowW);
  else
    pixelScale_ = windowScale_;
  LoadControlFont(*this);
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
  if (windowScale_ != 1) {
    // The back end reports the window in its pixels; ImGui works in designed units.
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(io.DisplaySize.x / windowScale_, io.DisplaySize.y / windowScale_);
    if (io.MousePos.x != -FLT_MAX)
      io.MousePos = ImVec2(io.MousePos.x / windowScale_, io.MousePos.y / windowScale_);
  }
  if (pixelScale_ != 1) ImGui::GetIO().DisplayFramebufferScale = ImVec2(1, 1);  // the renderer scales
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
  ImDrawData* d = ImGui::GetDrawData();
  if (!d) return;
  // Scaled for the widgets only: what else the renderer draws (an animation
  // behind a dialog) keeps the scale its owner gave it.
  float sx = 1, sy = 1;
  SDL_RenderGetScale(renderer_, &sx, &sy);
  SDL_RenderSetScale(renderer_, pixelScale_, pixelScale_);
  ImGui_ImplSDLRenderer_RenderDrawData(d);
  SDL_RenderSetScale(renderer_, sx, sy);
}

ImFont* ImGuiWindowContext::AddFont(const char* path, float size) {
  ImGui::SetCurrentContext(context_);
  ImGuiIO& io = ImGui::GetIO();
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    ImFontConfig config;
    config.SizePixels = std::round(size * pixelScale_);
    if (ImFont* f = io.Fonts->AddFontFromFileTTF(path, config.SizePixels, &config)) {
      f->Scale = 1 / pixelScale_;  // laid out in designed units, drawn at full resolution
      return f;
    }
  }
  return io.Fonts->Fonts.empty() ? io.Fonts->AddFontDefault() : io.Fonts->Fonts[0];
}

SDL_Event ImGuiWindowContext::ToDesigned(const SDL_Event& event) const {
  SDL_Event e = event;
  if (windowScale_ == 1) return e;
  const auto designed = [&](Sint32 v) { return static_cast<Sint32>(std::floor(v / windowScale_)); };
  switch (e.type) {
    case SDL_MOUSEMOTION:
      e.motion.x = designed(e.motion.x);
      e.motion.y = designed(e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      e.button.x = designed(e.button.x);
      e.button.y = designed(e.button.y);
      break;
    default:
      break;
  }
  return e;
}

void LoadControlFont(ImGuiWindowContext& context) {
  static const char* const kFonts[] = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
      "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
  };
  std::error_code ec;
  for (const char* path : kFonts) {
    if (std::filesystem::exists(path, ec)) {
      context.AddFont(path, 13.0f);
      return;
    }
  }
  ImGui::GetIO().Fonts->AddFontDefault();
}

}  // namespace tav
