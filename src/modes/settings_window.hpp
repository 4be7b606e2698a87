#pragma once
// The settings window on screen: an SDL window,
// the display area and Dear ImGui controls around the TForm2 model; its
// save dialogs have windows of their own (modes/save_wallpaper_window).
// Each input event is handed to the window it belongs to, which
// draws one frame of its controls and then runs whatever handler the event
// triggered.
#include <SDL.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/application.hpp"
#include "platform/imgui_support.hpp"
#include "display/dxdraw.hpp"
#include "display/sdl_handles.hpp"
#include "modes/settings_form.hpp"

struct ImFont;

namespace tav {

// The display area of the settings window, as TForm2 drives it.
class DXDrawFormSurface final : public FormSurface {
 public:
  explicit DXDrawFormSurface(TDXDraw& draw) : draw_(draw) {}
  void Finalize() override { draw_.Finalize(); }
  void InitializeWindowed(int width, int height, int bitCount) override;
  bool ReadyToDraw() override { return draw_.ReadyToDraw(); }
  void Fill(uint32_t color) override { draw_.Surface().Fill(color); }
  void LoadFromBitmap(const TDIB& bitmap) override { draw_.Surface().LoadFromBitmap(bitmap); }
  void Flip() override { draw_.Flip(); }

 private:
  TDXDraw& draw_;
};

class SaveDialogWindow;

class SettingsWindow {
 public:
  SettingsWindow(Application& app, int screenWidth, int displayBitCount);
  ~SettingsWindow();
  SettingsWindow(const SettingsWindow&) = delete;
  SettingsWindow& operator=(const SettingsWindow&) = delete;

  SDL_Window* Window() const { return window_.get(); }
  TForm2& Form() { return form_; }
  // Every event of the application comes here.
  void HandleEvent(const SDL_Event& event);

 private:
  enum Control { kCheckBox, kTrack1, kTrack2, kTrack3, kTrack4, kTrack5, kTrack6, kButton1, kButton2, kControls };

  void Frame();
  void Present();
  void HandleKey(const SDL_KeyboardEvent& key);
  void PressFocused();
  void HandleSliderMouse(const SDL_Event& event);
  void SyncDialogWindows();
  void Guard(const std::function<void()>& f) { app_.Guard(f); }

  Application& app_;
  // Destroyed bottom up: the dialogs, the form, the display area and the
  // ImGui context (with their textures) go before the renderer they draw
  // with, the renderer before its window.
  SdlWindow window_;
  SdlRenderer renderer_;
  std::unique_ptr<ImGuiWindowContext> imgui_;
  std::unique_ptr<TDXDraw> dxdraw_;
  std::unique_ptr<DXDrawFormSurface> surface_;
  TForm2 form_;
  ImFont* labelFont_ = nullptr;
  ImFont* buttonFont_ = nullptr;
  int focus_ = kCheckBox;
  int dragging_ = 0;        // the slider (1..6) the mouse holds
  int pendingButton_ = -1;  // a button pressed during the frame, run after it
  int extraFrames_ = 0;
  std::vector<std::unique_ptr<SaveDialogWindow>> dialogs_;
};

// The settings mode ("/c"): the exit status.
int RunSettingsWindow(int argc, char** argv);

}  // namespace tav
