#include "display/dxdraw.hpp"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "display/dxconsts.hpp"
#include "display/window_system.hpp"

namespace tav {

using O = TDXDrawOption;

namespace {

// Whether the window's X server lets clients render with GL themselves
// (DRI3, DRI2, or NVIDIA's own GLX); asked of the server, GL stays unloaded.
bool DirectRendering(SDL_Window* window) {
  Display* dpy = X11IdsOf(window).display;
  if (!dpy) return false;
  int opcode = 0, event = 0, error = 0;
  for (const char* name : {"DRI3", "DRI2", "NV-GLX"})
    if (XQueryExtension(dpy, name, &opcode, &event, &error)) return true;
  return false;
}

// Whether the window's X server has the RENDER extension.
bool ServerRenders(SDL_Window* window) {
  Display* dpy = X11IdsOf(window).display;
  int opcode = 0, event = 0, error = 0;
  return dpy && XQueryExtension(dpy, "RENDER", &opcode, &event, &error);
}

PresentPath ChoosePath(SDL_Window* window) {
  PresentFacts facts = PresentFactsFromEnvironment();
  facts.x11 = SdlOnX11();
  if (facts.x11) {
    facts.directRendering = DirectRendering(window);
    facts.render = ServerRenders(window);
  }
  return ChoosePresentPath(facts);
}

// SDL's software renderer, which draws into the window's framebuffer.
bool IsSoftwareRenderer(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  return renderer && SDL_GetRendererInfo(renderer, &info) == 0 && info.name &&
         std::string_view(info.name) == "software";
}

int SoftwareDriverIndex() {
  for (int i = 0, n = SDL_GetNumRenderDrivers(); i < n; ++i) {
    SDL_RendererInfo info{};
    if (SDL_GetRenderDriverInfo(i, &info) == 0 && info.name && std::string_view(info.name) == "software")
      return i;
  }
  return -1;
}

SdlRenderer MakeRenderer(SDL_Window* window, PresentPath path, Uint32 flags) {
  SdlRenderer renderer;
  if (path != PresentPath::Gl) {
    // The window's framebuffer as X11 itself offers it (a shared-memory
    // image), not a GL texture standing in for one; read when SDL makes
    // the process's first window framebuffer.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (const int index = SoftwareDriverIndex(); index >= 0) renderer.reset(SDL_CreateRenderer(window, index, 0));
  }
  if (!renderer) renderer.reset(SDL_CreateRenderer(window, -1, flags));
  return renderer;
}

}  // namespace

SdlRenderer CreateWindowRenderer(SDL_Window* window) {
  SdlRenderer renderer = MakeRenderer(window, ChoosePath(window), 0);
  if (!renderer) renderer.reset(SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE));
  return renderer;
}

// ---- back surface ----------------------------------------------------------

void TDirectDrawSurface::Create(SDL_Renderer* renderer, int w, int h) {
  renderer_ = renderer;
  w = std::max(w, 1);
  h = std::max(h, 1);
  if (software_) {
    width_ = w;
    height_ = h;
    live_ = true;
    Fill(0);
    return;
  }
  if (!texture_ || w != textureW_ || h != textureH_) {
    texture_.reset();
    textureW_ = textureH_ = 0;
    if (renderer_) {
      texture_.reset(SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h));
      if (!texture_) throw EDirectDrawSurfaceError(dxconsts::FormatMessage(dxconsts::SCannotMade, dxconsts::SDirectDrawSurface));
      textureW_ = w;
      textureH_ = h;
    }
  }
  width_ = w;
  height_ = h;
  pixels_.resize(static_cast<size_t>(w) * h);
  Fill(0);
}

void TDirectDrawSurface::Release() {
  texture_.reset();
  renderer_ = nullptr;
  textureW_ = textureH_ = 0;
  width_ = height_ = 0;
  dirty_ = false;
  live_ = hasFrame_ = false;
}

void TDirectDrawSurface::Fill(uint32_t colour) {
  if (software_) {
    fillColour_ = colour;
    hasFrame_ = false;
    return;
  }
  std::fill(pixels_.begin(), pixels_.end(), colour | 0xFF000000u);
  dirty_ = true;
}

void TDirectDrawSurface::LoadFromBitmap(const TDIB& bitmap) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) {
    // An empty bitmap leaves no surface to show.
    width_ = height_ = 0;
    pixels_.clear();
    hasFrame_ = false;
    return;
  }
  if (software_) {
    // A copy at the field's size (a fraction of a millisecond): the bitmap's
    // owner writes the next frame into it, and a repaint or a dialog over
    // the picture needs this one again.
    width_ = w;
    height_ = h;
    live_ = true;
    fillColour_ = 0;
    hasFrame_ = bitmap.BitCount() == 24 || bitmap.BitCount() == 32;
    if (!hasFrame_) return;
    if (frame_.BitCount() != bitmap.BitCount()) frame_.SetBitCount(bitmap.BitCount());
    if (frame_.Width() != w || frame_.Height() != h) frame_.SetSize(w, h);
    // The whole store at once: same size and depth, so the same row layout.
    std::memcpy(frame_.ScanLine(h - 1), bitmap.Bits(), bitmap.WidthBytes() * static_cast<size_t>(h));
    return;
  }
  if (w != width_ || h != height_ || !texture_) Create(renderer_, w, h);
  const int bytesPerPixel = bitmap.BitCount() / 8;
  if (bytesPerPixel != 3 && bytesPerPixel != 4) return;
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = bitmap.ScanLineRead(y);
    uint32_t* dst = pixels_.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x, src += bytesPerPixel)
      dst[x] = 0xFF000000u | (uint32_t{src[2]} << 16) | (uint32_t{src[1]} << 8) | src[0];
  }
  dirty_ = true;
}

void TDirectDrawSurface::Upload() {
  if (!dirty_ || !texture_) return;
  SDL_UpdateTexture(texture_.get(), nullptr, pixels_.data(), width_ * 4);
  dirty_ = false;
}

// ---- display control -------------------------------------------------------

TDXDraw::TDXDraw(SDL_Window* window, SDL_Renderer* renderer)
    : window_(window), sharedRenderer_(renderer) {
  nowOptions_ = EffectiveOptions(options_, nowOptions_, false);
}

TDXDraw::~TDXDraw() { Finalize(); }

void TDXDraw::SetOptions(DXDrawOptions options) {
  options_ = options;
  nowOptions_ = EffectiveOptions(options_, nowOptions_, initialized_);
  if (initialized_ && renderer_) SDL_RenderSetVSync(renderer_, nowOptions_.Has(O::doWaitVBlank) ? 1 : 0);
}

void TDXDraw::SetBounds(int left, int top, int width, int height) {
  bounds_ = SDL_Rect{left, top, std::max(width, 0), std::max(height, 0)};
}

Rect TDXDraw::ClientRect() const {
  if (bounds_) return Rect{bounds_->x, bounds_->y, bounds_->x + bounds_->w, bounds_->y + bounds_->h};
  int w = 0, h = 0;
  if (renderer_)
    SDL_GetRendererOutputSize(renderer_, &w, &h);
  else if (window_)
    SDL_GetWindowSize(window_, &w, &h);
  return Rect{0, 0, w, h};
}

int TDXDraw::SurfaceWidth() const { return surface_.Live() ? surface_.Width() : surfaceWidth_; }
int TDXDraw::SurfaceHeight() const { return surface_.Live() ? surface_.Height() : surfaceHeight_; }

void TDXDraw::SetSurfaceWidth(int w) {
  if (initialized_ && !updating_) {
    if (w == surface_.Width()) return;
    try {
      surface_.Create(renderer_, w, std::max(surfaceHeight_, 1));
    } catch (...) {
      Finalize();
      throw;
    }
  }
  surfaceWidth_ = initialized_ ? std::max(w, 1) : w;
}

void TDXDraw::SetSurfaceHeight(int h) {
  if (initialized_ && !updating_) {
    if (h == surface_.Height()) return;
    try {
      surface_.Create(renderer_, std::max(surfaceWidth_, 1), h);
    } catch (...) {
      Finalize();
      throw;
    }
  }
  surfaceHeight_ = initialized_ ? std::max(h, 1) : h;
}

bool TDXDraw::WindowShowing() const {
  const Uint32 f = SDL_GetWindowFlags(window_);
  return (f & SDL_WINDOW_SHOWN) && !(f & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

void TDXDraw::Initialize() {
  Finalize();
  if (!window_) throw EDXDrawError(dxconsts::SNotFoundForm);
  updating_ = true;
  try {
    if (nowOptions_.Has(O::doFullScreen)) SetDisplayMode();
    CreateRenderer();
    if (AutoSize) {
      const Rect r = ClientRect();
      surfaceWidth_ = r.Right - r.Left;
      surfaceHeight_ = r.Bottom - r.Top;
    }
    try {
      surface_.Create(renderer_, surfaceWidth_, surfaceHeight_);
    } catch (const EDirectDrawSurfaceError&) {
      throw EDXDrawError(dxconsts::FormatMessage(dxconsts::SCannotMade, dxconsts::SDirectDrawSurface));
    }
  } catch (...) {
    updating_ = false;
    initialized_ = true;  // so that Finalize releases what was made
    Finalize();
    throw;
  }
  lost_ = deviceLost_ = false;
  updating_ = false;
  initialized_ = true;
  // A full screen shows black at once. A compositor (Xwayland's window
  // manager among them) maps a window only once it has drawn something, and
  // until then takes back the focus we give it: the frame timer, which runs
  // only while we have the focus, would wait for a window that never comes.
  if (fullScreenSet_ && visible_) Present(false);
}

void TDXDraw::SetDisplayMode() {
  const int w = Display.Width(), h = Display.Height(), bits = Display.BitCount();
  const auto fail = [&] {
    return EDXDrawError(dxconsts::FormatMessage(dxconsts::SDisplaymodeChange, w, h, bits));
  };
  if (w <= 0 || h <= 0) throw fail();
  const int index = std::max(SDL_GetWindowDisplayIndex(window_), 0);

  // The desktop's own mode needs no switch, only the window over all of it.
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(index, &desktop) == 0 && desktop.w == w && desktop.h == h &&
      static_cast<int>(SDL_BITSPERPIXEL(desktop.format)) == bits) {
    if (SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) throw fail();
    fullScreenSet_ = true;
  } else {
    std::vector<DisplayMode> modes;
    std::vector<SDL_DisplayMode> sdlModes;
    const int n = SDL_GetNumDisplayModes(index);
    for (int i = 0; i < n; ++i) {
      SDL_DisplayMode m{};
      if (SDL_GetDisplayMode(index, i, &m) != 0) continue;
      sdlModes.push_back(m);
      modes.push_back({m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format))});
    }
    const DisplayMode want{w, h, bits};
    auto it = std::find(modes.begin(), modes.end(), want);
    std::optional<DisplayMode> chosen = it != modes.end() ? std::optional(*it) : ClosestDisplayMode(modes, want);
    if (!chosen) throw fail();
    const auto& sdl = sdlModes[static_cast<size_t>(std::find(modes.begin(), modes.end(), *chosen) - modes.begin())];
    if (SDL_SetWindowDisplayMode(window_, &sdl) != 0 || SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) != 0)
      throw fail();
    fullScreenSet_ = true;
    Display.SetWidth(chosen->Width);
    Display.SetHeight(chosen->Height);
    if (chosen->BitCount == 8 || chosen->BitCount == 16 || chosen->BitCount == 24 || chosen->BitCount == 32)
      Display.SetBitCount(chosen->BitCount);
  }
  // Exclusive full screen brings the window to the front.
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
}

void TDXDraw::CreateRenderer() {
  PresentPath path = PresentPath::Gl;
  if (!OwnsRenderer()) {
    renderer_ = sharedRenderer_;
  } else {
    path = ChoosePath(window_);
    ownRenderer_ = MakeRenderer(window_, path, nowOptions_.Has(O::doWaitVBlank) ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (!ownRenderer_)
      throw EDXDrawError(dxconsts::FormatMessage(dxconsts::SCannotMade, dxconsts::SDirectDrawPrimarySurface));
    renderer_ = ownRenderer_.get();
  }
  // However it was made (a host may have asked SDL for software): a software
  // renderer means frames go straight into the window's framebuffer.
  software_ = SdlOnX11() && IsSoftwareRenderer(renderer_);
  surface_.software_ = software_;
  if (software_ && path == PresentPath::XRender) {
    if (const X11Ids x = X11IdsOf(window_); x.display) xrender_ = XRenderPresenter::Create(x.display, x.window);
  }
  serverScaled_ = true;
  SDL_RenderSetVSync(renderer_, nowOptions_.Has(O::doWaitVBlank) ? 1 : 0);
}

void TDXDraw::ReleaseAll() {
  xrender_.reset();
  surface_.Release();  // the texture before its renderer
  ownRenderer_.reset();
  renderer_ = nullptr;
  if (fullScreenSet_) SDL_SetWindowFullscreen(window_, 0);
  fullScreenSet_ = false;
}

void TDXDraw::Finalize() {
  if (!initialized_) return;
  if (surface_.Live()) {
    surfaceWidth_ = surface_.Width();
    surfaceHeight_ = surface_.Height();
  }
  updating_ = true;
  initialized_ = false;
  nowOptions_ = EffectiveOptions(options_, nowOptions_, false);
  ReleaseAll();
  lost_ = deviceLost_ = false;
  updating_ = false;
}

bool TDXDraw::RestoreSurfaces() {
  if (!initialized_ || updating_ || !renderer_) return false;
  if (!lost_) return true;
  if (!WindowShowing()) return false;
  updating_ = true;
  bool ok = true;
  try {
    const int w = surface_.Width(), h = surface_.Height();
    if (deviceLost_ && OwnsRenderer()) {
      surface_.Release();  // the texture before its renderer
      ownRenderer_.reset();
      renderer_ = nullptr;
      CreateRenderer();
    } else {
      surface_.Release();  // its texture is gone with the reset
    }
    surface_.Create(renderer_, w, h);  // black until the next frame is loaded
  } catch (...) {
    ok = false;
  }
  if (ok) lost_ = deviceLost_ = false;
  updating_ = false;
  return ok;
}

bool TDXDraw::ReadyToDraw() { return CanDraw() && RestoreSurfaces(); }

void TDXDraw::Flip() {
  if (!CanDraw() || !RestoreSurfaces() || !visible_) return;
  Present(nowOptions_.Has(O::doWaitVBlank));
}

void TDXDraw::Present(bool /*waitVBlank: the renderer's vsync setting does it*/) {
  if (software_) {
    PresentSoftware();
    return;
  }
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  surface_.Upload();
  if (surface_.texture_) {
    const Rect control = ClientRect();
    const Rect r = PresentRect(nowOptions_, control, surface_.Width(), surface_.Height());
    const SDL_Rect clip{control.Left, control.Top, control.Right - control.Left, control.Bottom - control.Top};
    const SDL_Rect dst{r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top};
    const SDL_Rect src{0, 0, surface_.Width(), surface_.Height()};
    SDL_RenderSetClipRect(renderer_, &clip);
    SDL_RenderCopy(renderer_, surface_.texture_.get(), &src, &dst);
    SDL_RenderSetClipRect(renderer_, nullptr);
  }
  if (OnAfterDraw) OnAfterDraw(renderer_);
  SDL_RenderPresent(renderer_);
}

void TDXDraw::PresentSoftware() {
  // A frame alone over the whole window: the X server scales it, if it can
  // for this size.
  if (xrender_ && !OnAfterDraw && !bounds_) {
    const Rect control = ClientRect();
    const Rect to = PresentRect(nowOptions_, control, surface_.Width(), surface_.Height());
    if (!surface_.hasFrame_) {
      xrender_->PresentColour(surface_.Live() ? surface_.fillColour_ : 0, to, control.Right, control.Bottom);
      return;
    }
    serverScaled_ = xrender_->Present(surface_.frame_, to, control.Right, control.Bottom);
    if (serverScaled_) return;
  }
  SDL_Surface* screen = SDL_GetWindowSurface(window_);  // the one the software renderer draws into
  if (screen) {
    const Rect control = ClientRect();
    const Rect clipped{std::max(control.Left, 0), std::max(control.Top, 0), std::min(control.Right, screen->w),
                       std::min(control.Bottom, screen->h)};
    const int w = clipped.Right - clipped.Left, h = clipped.Bottom - clipped.Top;
    const bool coversWindow = w == screen->w && h == screen->h;
    // Outside the control the window is black, as on the GL path, before
    // the window's own drawing (OnAfterDraw) comes over it.
    if (!coversWindow) SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    if (w > 0 && h > 0) {
      Rect to = PresentRect(nowOptions_, control, surface_.Width(), surface_.Height());
      to = Rect{to.Left - clipped.Left, to.Top - clipped.Top, to.Right - clipped.Left, to.Bottom - clipped.Top};
      const SDL_PixelFormat& f = *screen->format;
      const bool direct = f.BytesPerPixel == 4;
      PixelTarget target;
      target.width = w;
      target.height = h;
      if (direct) {
        target.pixels = static_cast<uint8_t*>(screen->pixels) + static_cast<ptrdiff_t>(clipped.Top) * screen->pitch +
                        static_cast<ptrdiff_t>(clipped.Left) * 4;
        target.pitch = screen->pitch;
        target.layout = PixelLayout{f.Rshift, f.Gshift, f.Bshift, f.Rloss, f.Gloss, f.Bloss, f.Amask};
      } else {
        scratch_.resize(static_cast<size_t>(w) * h);
        target.pixels = reinterpret_cast<uint8_t*>(scratch_.data());
        target.pitch = static_cast<ptrdiff_t>(w) * 4;
        target.layout = kXrgb8888;
      }
      static const TDIB kNoFrame;
      stretcher_.Draw(surface_.hasFrame_ ? surface_.frame_ : kNoFrame, to, target);
      if (!direct)
        SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, scratch_.data(), w * 4, f.format,
                          static_cast<uint8_t*>(screen->pixels) + static_cast<ptrdiff_t>(clipped.Top) * screen->pitch +
                              static_cast<ptrdiff_t>(clipped.Left) * f.BytesPerPixel,
                          screen->pitch);
      if (!surface_.hasFrame_ && surface_.fillColour_ != 0 && surface_.Live()) {
        // A surface filled with a colour and nothing loaded since.
        const SDL_Rect area{to.Left + clipped.Left, to.Top + clipped.Top, to.Right - to.Left, to.Bottom - to.Top};
        const SDL_Rect clip{clipped.Left, clipped.Top, w, h};
        SDL_Rect shown{};
        const uint32_t c = surface_.fillColour_;
        if (SDL_IntersectRect(&area, &clip, &shown))
          SDL_FillRect(screen, &shown, SDL_MapRGB(&f, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
      }
    }
  }
  if (OnAfterDraw) OnAfterDraw(renderer_);
  SDL_RenderPresent(renderer_);  // the software renderer's present updates the window from its framebuffer
}

void TDXDraw::HandleEvent(const SDL_Event& e) {
  const Uint32 id = window_ ? SDL_GetWindowID(window_) : 0;
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (e.window.windowID != id) break;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_HIDDEN:
        case SDL_WINDOWEVENT_MINIMIZED:
          if (initialized_) lost_ = true;
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          // Repaint: the current back surface again, without waiting for a blank.
          if (CanDraw() && !lost_ && visible_) Present(false);
          break;
        default:
          break;
      }
      break;
    case SDL_RENDER_TARGETS_RESET:
      if (initialized_) lost_ = true;
      break;
    case SDL_RENDER_DEVICE_RESET:
      if (initialized_) lost_ = deviceLost_ = true;
      break;
    case SDL_MOUSEMOTION: {
      if (e.motion.windowID != id || !OnMouseMove) break;
      const Rect r = ClientRect();
      if (e.motion.x >= r.Left && e.motion.x < r.Right && e.motion.y >= r.Top && e.motion.y < r.Bottom)
        OnMouseMove(e.motion.x - r.Left, e.motion.y - r.Top);
      break;
    }
    default:
      break;
  }
}

}  // namespace tav
