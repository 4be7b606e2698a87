#pragma once
// Dear ImGui for one SDL window drawn with its SDL_Renderer: context,
// platform and renderer back ends, and the bold 13 px font the controls use.
#include <SDL.h>

struct ImGuiContext;

namespace tav {

class ImGuiWindowContext {
 public:
  ImGuiWindowContext(SDL_Window* window, SDL_Renderer* renderer);
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

 private:
  ImGuiContext* context_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
};

// Loads the first font found of DejaVu Sans Bold and Liberation Sans Bold
// at 13 px into the current context; ImGui's own font when neither exists.
void LoadControlFont();

}  // namespace tav
