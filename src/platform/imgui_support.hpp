#pragma once
// Dear ImGui for one SDL window drawn with its SDL_Renderer: context,
// platform and renderer back ends, and the bold 13 px font the controls use.
#include <SDL.h>

struct ImGuiContext;
struct ImFont;

namespace tav {

// windowScale: how much larger than its designed size the window was made
// (WindowScale(), platform/desktop_scale). Widgets, fonts and the mouse then work
// in designed units, and Draw has the renderer scale them to pixels (text
// rendered at the full resolution): the layout keeps its proportions. A
// window whose whole content is laid out in designed units sets the
// renderer's scale to PixelScale() itself.
class ImGuiWindowContext {
 public:
  ImGuiWindowContext(SDL_Window* window, SDL_Renderer* renderer, float windowScale = 1);
  ~ImGuiWindowContext();
  ImGuiWindowContext(const ImGuiWindowContext&) = delete;
  ImGuiWindowContext& operator=(const ImGuiWindowContext&) = delete;

  // Passes one event on; answers whether ImGui wants the mouse or keyboard.
  bool ProcessEvent(const SDL_Event& event);
  // Between NewFrame and Render the program calls its ImGui widgets.
  void NewFrame();
  // Draws the frame's widgets into the renderer (no present): EndFrame, then Draw.
  void Render();
  void EndFrame();  // the frame's widgets become draw data
  void Draw();      // the last draw data into the renderer; may be called again
  ImGuiContext* Context() const { return context_; }

  // Pixels per designed unit.
  float PixelScale() const { return pixelScale_; }
  // A font of size designed units from path, rendered at the pixel scale;
  // the context's first font (or ImGui's own) when the file is missing.
  ImFont* AddFont(const char* path, float size);
  // Mouse positions in designed units, as a widget handler expects them.
  SDL_Event ToDesigned(const SDL_Event& event) const;

 private:
  ImGuiContext* context_ = nullptr;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  float windowScale_ = 1, pixelScale_ = 1;
};

// Loads the first font found of DejaVu Sans Bold and Liberation Sans Bold
// at 13 designed units into the context; ImGui's own font when neither exists.
void LoadControlFont(ImGuiWindowContext& context);

}  // namespace tav
