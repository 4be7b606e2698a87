#include "modes/settings_window.hpp"

#include <imgui.h>
#include <imgui_impl_sdlrenderer.h>

#include <algorithm>

#include "platform/application.hpp"
#include "desktop/root_pixmap.hpp"
#include "modes/form_controls.hpp"
#include "modes/save_wallpaper_window.hpp"

namespace tav {
namespace {

// The labels' and the check box's text colour, RGB(225, 190, 0).
const ImVec4 kLabelColour{225 / 255.f, 190 / 255.f, 0.f, 1.f};

// Slider geometry: the control's rectangle, the ticks below it, and the
// inset at both ends where the thumb stops.
constexpr float kTrackWidth = 120, kTrackHeight = 10, kTickSpace = 5, kTrackMargin = 4;
const ImVec2 kTrackPos[6] = {{3, 337}, {3, 370}, {136, 337}, {136, 370}, {272, 337}, {272, 370}};

int TrackValueAt(const Slider& bar, float x, float left) {
  const float x0 = left + kTrackMargin, x1 = left + kTrackWidth - kTrackMargin;
  const int steps = std::max(bar.Max - bar.Min, 1);
  const float t = std::clamp((x - x0) / (x1 - x0), 0.f, 1.f);
  return bar.Min + static_cast<int>(std::lround(t * steps));
}

// Draws a horizontal slider with a tick at every step below it.
void DrawTrackBar(ImVec2 pos, const Slider& bar, bool focused) {
  ImDrawList* dl = ImGui::GetWindowDrawList();
  const ImVec2 p0(ImGui::GetWindowPos().x + pos.x, ImGui::GetWindowPos().y + pos.y);
  const float x0 = p0.x + kTrackMargin, x1 = p0.x + kTrackWidth - kTrackMargin;
  const int steps = std::max(bar.Max - bar.Min, 1);
  auto xOf = [&](int v) { return x0 + (x1 - x0) * static_cast<float>(v - bar.Min) / steps; };
  const float midY = p0.y + kTrackHeight * 0.5f;
  dl->AddRectFilled(ImVec2(x0, midY - 1), ImVec2(x1, midY + 1), IM_COL32(128, 128, 128, 255));
  for (int v = bar.Min; v <= bar.Max; ++v) {
    const float x = std::floor(xOf(v)) + 0.5f;
    dl->AddLine(ImVec2(x, p0.y + kTrackHeight + 1), ImVec2(x, p0.y + kTrackHeight + 4), IM_COL32(192, 192, 192, 255));
  }
  const float tx = std::floor(xOf(std::clamp(bar.Position, bar.Min, bar.Max)));
  dl->AddRectFilled(ImVec2(tx - 3, p0.y), ImVec2(tx + 3, p0.y + kTrackHeight), IM_COL32(192, 192, 192, 255));
  dl->AddRect(ImVec2(tx - 3, p0.y), ImVec2(tx + 3, p0.y + kTrackHeight), IM_COL32(96, 96, 96, 255));
  if (focused) FocusFrame(p0, ImVec2(p0.x + kTrackWidth, p0.y + kTrackHeight + kTickSpace));
}

}  // namespace

// ---- the display area -------------------------------------------------------

void DXDrawFormSurface::InitializeWindowed(int width, int height, int bitCount) {
  draw_.SetOptions(draw_.Options().Add(TDXDrawOption::doStretch));
  SizeDisplayAndSurface(draw_, width, height, bitCount);
  draw_.Initialize();
}

// ---- the settings window ---------------------------------------------------

SettingsWindow::SettingsWindow(Application& app, int screenWidth, int displayBitCount)
    : app_(app), form_(app, nullptr) {
  // The controls are laid out in designed units; the preview's display area
  // is given in the renderer's pixels, since the display control draws the
  // frame in pixels on every path (straight into the window's framebuffer
  // on the software one), and stretches the picture over it.
  OpenFormWindow(TForm2::kCaption, TForm2::kClientWidth, TForm2::kClientHeight, SDL_WINDOW_HIDDEN,
                 "Settings window", window_, renderer_, imgui_, false);
  SDL_RenderSetScale(renderer_.get(), 1, 1);  // the controls get theirs as they are drawn
  labelFont_ = imgui_->AddFont(kDejaVuBold, 13);
  buttonFont_ = imgui_->AddFont(kLiberationBold, 13);

  dxdraw_ = std::make_unique<TDXDraw>(window_.get(), renderer_.get());
  dxdraw_->SetOptions({TDXDrawOption::doAllowReboot, TDXDrawOption::doDirectX7Mode, TDXDrawOption::doHardware,
                       TDXDrawOption::doSelectDriver});
  dxdraw_->AutoSize = false;
  const float pixels = imgui_->PixelScale();
  dxdraw_->SetBounds(0, 0, Scaled(TForm2::kPreviewWidth, pixels), Scaled(TForm2::kPreviewHeight, pixels));
  // A frame tick may come while a dialog's context is the current one: Draw
  // makes this window's the current one.
  dxdraw_->OnAfterDraw = [this](SDL_Renderer*) { imgui_->Draw(); };
  surface_ = std::make_unique<DXDrawFormSurface>(*dxdraw_);
  form_.SetSurface(surface_.get());
  std::vector<WallpaperSize> monitors;
  for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(i, &mode) == 0) monitors.push_back({mode.w, mode.h});
  }
  form_.SetMonitors(std::move(monitors));
  form_.SetRootPixmap = [](const TDIB& image) { return tav::SetRootPixmap(image); };
  app_.HoldErrorsUntilRun();  // their box comes over the window, once it shows
  app_.Guard([&] { form_.FormCreate(screenWidth, displayBitCount); });
  Frame();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::HandleEvent(const SDL_Event& event) {
  const SDL_Event e = imgui_->ToDesigned(event);  // the layout's units
  const Uint32 id = SDL_GetWindowID(window_.get());
  Uint32 target = 0;
  switch (e.type) {
    case SDL_WINDOWEVENT: target = e.window.windowID; break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: target = e.key.windowID; break;
    case SDL_TEXTINPUT: target = e.text.windowID; break;
    case SDL_MOUSEMOTION: target = e.motion.windowID; break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: target = e.button.windowID; break;
    case SDL_MOUSEWHEEL: target = e.wheel.windowID; break;
    case SDL_USEREVENT: target = e.user.windowID; break;
    default: break;
  }

  if (target != 0 && target != id) {
    for (auto& d : dialogs_) {
      if (d->Id() == target) {
        d->HandleEvent(e);
        break;
      }
    }
    SyncDialogWindows();
    return;
  }

  dxdraw_->HandleEvent(event);  // in pixels, as its display area is given
  if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) {
    app_.Terminate();
    return;
  }
  imgui_->ProcessEvent(e);
  if (e.type == SDL_KEYDOWN) HandleKey(e.key);
  if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEMOTION || e.type == SDL_MOUSEBUTTONUP) HandleSliderMouse(e);
  if (form_.CloseRequested()) {
    app_.Terminate();
    return;
  }
  Frame();
  if (pendingButton_ >= 0) {
    const int b = pendingButton_;
    pendingButton_ = -1;
    focus_ = b;
    Guard([&] { b == kButton1 ? form_.Button1Click() : form_.Button2Click(); });
    SyncDialogWindows();
  }
  // ImGui shows some changes one frame late (a released button, hovering).
  if (e.type != SDL_USEREVENT) extraFrames_ = 2;
  if (extraFrames_ > 0) {
    --extraFrames_;
    SDL_Event more{};
    more.type = SDL_USEREVENT;
    more.user.windowID = id;
    SDL_PushEvent(&more);
  }
}

void SettingsWindow::HandleKey(const SDL_KeyboardEvent& k) {
  // The form sees every key before its controls do.
  const int code = k.keysym.sym == SDLK_ESCAPE ? TForm2::kEsc : static_cast<int>(k.keysym.sym);
  Guard([&] { form_.FormKeyDown(code); });
  if (form_.CloseRequested()) return;
  const bool onSlider = focus_ >= kTrack1 && focus_ <= kTrack6;
  const int bar = focus_ - kTrack1 + 1;
  auto move = [&](int to) { Guard([&] { form_.SetTrackBarPosition(bar, to); }); };
  switch (k.keysym.sym) {
    case SDLK_TAB:
      focus_ = (focus_ + (Shift(k) ? kControls - 1 : 1)) % kControls;
      break;
    case SDLK_LEFT:
    case SDLK_UP:
      if (onSlider) move(form_.TrackBar(bar).Position - 1);
      break;
    case SDLK_RIGHT:
    case SDLK_DOWN:
      if (onSlider) move(form_.TrackBar(bar).Position + 1);
      break;
    case SDLK_PAGEUP:
      if (onSlider) move(form_.TrackBar(bar).Position - 2);
      break;
    case SDLK_PAGEDOWN:
      if (onSlider) move(form_.TrackBar(bar).Position + 2);
      break;
    case SDLK_HOME:
      if (onSlider) move(form_.TrackBar(bar).Min);
      break;
    case SDLK_END:
      if (onSlider) move(form_.TrackBar(bar).Max);
      break;
    case SDLK_SPACE:
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      PressFocused();
      break;
    default:
      break;
  }
}

// The sliders follow the mouse themselves: pressed on one, it takes the
// focus and tracks the pointer until the button is let go.
void SettingsWindow::HandleSliderMouse(const SDL_Event& e) {
  if (e.type == SDL_MOUSEBUTTONUP) {
    if (e.button.button == SDL_BUTTON_LEFT) dragging_ = 0;
    return;
  }
  int x = 0, y = 0;
  if (e.type == SDL_MOUSEBUTTONDOWN) {
    if (e.button.button != SDL_BUTTON_LEFT) return;
    x = e.button.x, y = e.button.y;
    for (int i = 1; i <= 6; ++i) {
      const ImVec2 p = kTrackPos[i - 1];
      if (x >= p.x && x < p.x + kTrackWidth && y >= p.y && y < p.y + kTrackHeight + kTickSpace) {
        dragging_ = i;
        focus_ = kTrack1 + i - 1;
      }
    }
    if (!dragging_) return;
  } else {
    if (!dragging_) return;
    x = e.motion.x;
  }
  const int bar = dragging_;
  const int value = TrackValueAt(form_.TrackBar(bar), static_cast<float>(x), kTrackPos[bar - 1].x);
  Guard([&] { form_.SetTrackBarPosition(bar, value); });
}

void SettingsWindow::PressFocused() {
  if (focus_ == kCheckBox) Guard([&] { form_.SetCheckBox1(!form_.CheckBox1Checked()); });
  if (focus_ == kButton1 || focus_ == kButton2) pendingButton_ = focus_;
}

void SettingsWindow::Frame() {
  imgui_->NewFrame();
  BeginClientArea("##settings", TForm2::kClientWidth, TForm2::kClientHeight, true);

  // Labels and check box: bold, in the form's yellow.
  ImGui::PushFont(labelFont_);
  ImGui::PushStyleColor(ImGuiCol_Text, kLabelColour);
  static const struct {
    float x, y;
    const char* text;
  } kLabels[] = {{10, 320, "Speed"},  {10, 352, "Wallpaper Size"}, {143, 320, "Detailed"},
                 {143, 352, "Picture"}, {277, 320, "Vanguard"},     {277, 352, "Color"}};
  for (const auto& l : kLabels) {
    ImGui::SetCursorPos(ImVec2(l.x, l.y));
    ImGui::TextUnformatted(l.text);
  }
  ImGui::SetCursorPos(ImVec2(10, 384));
  ImGui::TextUnformatted(form_.StaticText7().c_str());

  ImGui::SetCursorPos(ImVec2(10, 302));
  bool checked = form_.CheckBox1Checked();
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(2, 2));
  if (ImGui::Checkbox("Random", &checked)) Guard([&] { form_.SetCheckBox1(checked); });
  ImGui::PopStyleVar();
  if (ImGui::IsItemActivated()) focus_ = kCheckBox;
  if (focus_ == kCheckBox)
    FocusFrame(ImGui::GetItemRectMin(), ImVec2(ImGui::GetItemRectMin().x + 97, ImGui::GetItemRectMin().y + 17));
  ImGui::PopStyleColor();
  ImGui::PopFont();

  for (int i = 1; i <= 6; ++i) DrawTrackBar(kTrackPos[i - 1], form_.TrackBar(i), focus_ == kTrack1 + i - 1);

  ImGui::PushFont(buttonFont_);
  ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0, 0, 0, 1));
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(2, 1));
  ImGui::SetCursorPos(ImVec2(11, 405));
  if (ImGui::Button("Save Settings", ImVec2(115, 17))) pendingButton_ = kButton1;
  if (focus_ == kButton1) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  ImGui::SetCursorPos(ImVec2(132, 405));
  if (ImGui::Button("Render Wallpaper", ImVec2(132, 17))) pendingButton_ = kButton2;
  if (focus_ == kButton2) FocusFrame(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  ImGui::PopStyleVar();
  ImGui::PopStyleColor();
  ImGui::PopFont();

  ImGui::End();
  ImGui::Render();
  Present();
}

void SettingsWindow::Present() {
  // The display area keeps its last frame; the controls are drawn over the
  // rest of the window in the same present.
  ImGui::SetCurrentContext(imgui_->Context());
  if (dxdraw_->CanDraw()) {
    dxdraw_->Flip();
    return;
  }
  SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
  SDL_RenderClear(renderer_.get());
  imgui_->Draw();
  SDL_RenderPresent(renderer_.get());
}

void SettingsWindow::SyncDialogWindows() {
  bool closed = false;
  // Windows of dialogs that went away.
  std::erase_if(dialogs_, [&](const auto& w) {
    const auto& models = form_.Dialogs();
    const bool alive = std::any_of(models.begin(), models.end(),
                                   [&](const auto& m) { return m.get() == &w->Dialog() && m->Visible(); });
    if (!alive) closed = true;
    return !alive;
  });
  // Windows for dialogs that just opened.
  for (auto& m : form_.Dialogs()) {
    if (!m->Visible()) continue;
    const bool shown = std::any_of(dialogs_.begin(), dialogs_.end(), [&](const auto& w) { return &w->Dialog() == m.get(); });
    if (!shown) dialogs_.push_back(SaveDialogWindow::Open(app_, *m));
  }
  if (closed) {
    SDL_RaiseWindow(window_.get());
    app_.SetActive(true);
    ImGui::SetCurrentContext(imgui_->Context());
  }
}

// ---- the mode ----------------------------------------------------------------

int RunSettingsWindow(int, char**) {
  Application app(kApplicationTitle);
  SDL_DisplayMode mode{};
  int screenWidth = 0, bitCount = 24;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    screenWidth = mode.w;
    bitCount = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  }
  SettingsWindow window(app, screenWidth, bitCount);
  app.SetMainWindow(window.Window(), [&](const SDL_Event& e) { window.HandleEvent(e); });
  app.Run();
  return 0;
}

}  // namespace tav
