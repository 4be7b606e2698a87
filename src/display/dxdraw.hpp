#pragma once
// TDXDraw: the display surface of a window. It covers the whole window or a
// rectangle of it, keeps a back surface that frames are loaded into, and
// presents it stretched over the control, or at its own size (centred with
// doCenter). In full screen it takes the display (the desktop's own mode, or
// the closest one SDL lists).
//
// Three ways to the screen (display/present_path.hpp). Through an
// SDL_Renderer where GL runs on a GPU: the back surface is a streaming
// texture that the GPU stretches. Otherwise SDL's software renderer on the
// window's own framebuffer: the back surface stays a field-sized bitmap, and
// Flip either has the X server scale it (RENDER), or writes it stretched once
// into the framebuffer, which SDL hands to the X server. Whatever else is
// drawn in the window (a dialog over the frames) goes the framebuffer's way.
//
// A window that draws more than frames (the settings window's controls)
// hands its renderer in and draws in OnAfterDraw, before the one present.
#include <SDL.h>

#include <functional>
#include <memory>
#include <vector>

#include "display/dib.hpp"
#include "display/dxdraw_logic.hpp"
#include "display/sdl_handles.hpp"
#include "display/present_path.hpp"
#include "display/stretch.hpp"
#include "display/xrender_present.hpp"

namespace tav {

class TDXDraw;

// A renderer for a window that draws more than frames (the settings window,
// a dialog): GL where it runs on a GPU, else SDL's software renderer on the
// window's framebuffer, so that no GL is loaded where it would only be a
// software rasteriser (display/present_path.hpp); null when none can be made.
SdlRenderer CreateWindowRenderer(SDL_Window* window);

// The back surface: pixels kept in memory and uploaded to a streaming texture
// when presented. The texture is re-created only when the size changes; the
// surface owns it, and its owner releases it before the renderer it was made
// on goes. On the software path there is no texture: the loaded bitmap is
// kept as it is (a copy at the field's size) until Flip stretches it into
// the window.
class TDirectDrawSurface {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Fills the whole surface with a device colour (0x00RRGGBB).
  void Fill(uint32_t colour);
  // Takes the bitmap's size and copies the whole 24-bit bitmap in at 1:1.
  void LoadFromBitmap(const TDIB& bitmap);

 private:
  friend class TDXDraw;
  void Create(SDL_Renderer* renderer, int w, int h);  // raises EDirectDrawSurfaceError
  void Release();
  void Upload();

  bool Live() const { return texture_ != nullptr || live_; }

  SDL_Renderer* renderer_ = nullptr;  // the control's; it outlives the surface
  SdlTexture texture_;
  int width_ = 0, height_ = 0;
  int textureW_ = 0, textureH_ = 0;
  std::vector<uint32_t> pixels_;
  bool dirty_ = false;
  // Software path.
  bool software_ = false;
  bool live_ = false;      // created and not released
  bool hasFrame_ = false;  // frame_ holds what was loaded last (else fillColour_ all over)
  TDIB frame_;
  uint32_t fillColour_ = 0;
};

class TDXDraw {
 public:
  // window: the form that owns the control. renderer: the form's own
  // renderer when it draws into the window as well; without one the control
  // creates its own at Initialize and releases it at Finalize.
  explicit TDXDraw(SDL_Window* window, SDL_Renderer* renderer = nullptr);
  ~TDXDraw();
  TDXDraw(const TDXDraw&) = delete;
  TDXDraw& operator=(const TDXDraw&) = delete;

  DXDrawOptions Options() const { return options_; }
  void SetOptions(DXDrawOptions options);
  DXDrawOptions NowOptions() const { return nowOptions_; }  // the options in force

  TDXDrawDisplay Display;
  bool AutoSize = true;  // the back surface takes the control's size at Initialize

  // The control's rectangle in window coordinates; without one it covers the
  // whole window.
  void SetBounds(int left, int top, int width, int height);
  void FillWindow() { bounds_.reset(); }
  Rect ClientRect() const;

  // Read back from the live surface while one exists.
  int SurfaceWidth() const;
  int SurfaceHeight() const;
  void SetSurfaceWidth(int w);
  void SetSurfaceHeight(int h);

  void Initialize();  // raises EDXDrawError / EDirectDrawError; leaves it finalized then
  void Finalize();
  bool Initialized() const { return initialized_; }
  bool CanDraw() const { return initialized_ && !updating_; }
  // Initialized, not updating, and the surfaces are there (restored if lost).
  bool ReadyToDraw();
  bool RestoreSurfaces();
  // Presents the back surface as the options say.
  void Flip();

  TDirectDrawSurface& Surface() { return surface_; }
  SDL_Renderer* Renderer() const { return renderer_; }
  // The way frames reach the screen since Initialize: Software when the
  // renderer is SDL's software renderer on the window's framebuffer, XRender
  // when the X server scales them (and did so for the last frame shown:
  // a size it cannot scale exactly goes the Software way).
  PresentPath Path() const {
    if (!software_) return PresentPath::Gl;
    return xrender_ && serverScaled_ ? PresentPath::XRender : PresentPath::Software;
  }
  SDL_Window* Window() const { return window_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }

  // Window events of the owning form: hidden or minimised windows and render
  // resets lose the surfaces, exposure repaints, motion over the control
  // calls OnMouseMove with control coordinates.
  void HandleEvent(const SDL_Event& event);
  std::function<void(int x, int y)> OnMouseMove;
  // Called after the frame is drawn and before it is presented.
  std::function<void(SDL_Renderer*)> OnAfterDraw;

 private:
  void SetDisplayMode();
  void CreateRenderer();
  void ReleaseAll();
  void Present(bool waitVBlank);
  void PresentSoftware();
  bool WindowShowing() const;
  bool OwnsRenderer() const { return sharedRenderer_ == nullptr; }

  SDL_Window* window_;                  // the form's: it outlives the control
  SDL_Renderer* const sharedRenderer_;  // the form's when it draws too: never ours to destroy
  SdlRenderer ownRenderer_;             // ours, from Initialize to Finalize, when none is shared
  SDL_Renderer* renderer_ = nullptr;    // the one in use: the shared one or ownRenderer_'s
  DXDrawOptions options_ = kDefaultDXDrawOptions;
  DXDrawOptions nowOptions_;
  std::optional<SDL_Rect> bounds_;
  int surfaceWidth_ = 100, surfaceHeight_ = 100;
  bool initialized_ = false;
  bool updating_ = false;
  bool fullScreenSet_ = false;
  bool visible_ = true;
  bool lost_ = false;
  bool deviceLost_ = false;
  bool software_ = false;
  FrameStretcher stretcher_;
  std::unique_ptr<XRenderPresenter> xrender_;  // the X server scales frames (RENDER), when chosen
  bool serverScaled_ = true;                   // the last frame went through it
  std::vector<uint32_t> scratch_;  // the stretched frame on its way into a window of another depth
  // After the renderer: its texture goes first.
  TDirectDrawSurface surface_;
};

// The display mode and the surface at one size and depth, as each form sets
// them before Initialize.
inline void SizeDisplayAndSurface(TDXDraw& draw, int width, int height, int bitCount) {
  draw.Display.SetWidth(width);
  draw.Display.SetHeight(height);
  draw.SetSurfaceWidth(width);
  draw.SetSurfaceHeight(height);
  draw.Display.SetBitCount(bitCount);
}

}  // namespace tav
