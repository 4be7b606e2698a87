// Every way to the screen shows the same pixels: a known frame presented
// through the GL renderer, through the window's framebuffer and scaled by
// the X server (forced each time), read back from the X server and held
// against the pixel-centre rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/application.hpp"
#include "display/dxdraw.hpp"
#include "harness.hpp"

#include <X11/Xlib.h>  // last: its macros (None, Bool) meet nothing after it

namespace tav {
namespace {

using O = TDXDrawOption;

TDIB RandomFrame(int w, int h) {
  std::mt19937 rng(static_cast<unsigned>(w * 1000 + h));
  TDIB d;
  d.SetBitCount(24);
  d.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) d.ScanLine(y)[x] = static_cast<uint8_t>(rng());
  return d;
}

// The frame pixel whose on-screen extent [c, c + 1) * shown / size from
// origin holds the centre of screen pixel at; -1 where none does.
int CoveringPixel(int at, int origin, int shown, int size) {
  const long long centre2 = 2LL * (at - origin) + 1;
  for (int c = 0; c < size; ++c)
    if (2LL * c * shown <= centre2 * size && centre2 * size < 2LL * (c + 1) * shown) return c;
  return -1;
}

// The frame presented once in a window of its own on the path forced by the
// variable, as the X server then holds the window.
std::optional<tavtest::Shot> Present(const std::string& display, const char* path, const TDIB& frame, int w,
                                     int h, DXDrawOptions options, PresentPath& used) {
  setenv(kPresentPathVariable, path, 1);
  std::optional<tavtest::Shot> shot;
  {
    Application app(kApplicationTitle);
    SDL_Window* window = SDL_CreateWindow("present", 0, 0, w, h, SDL_WINDOW_BORDERLESS);
    if (!window) return std::nullopt;
    {
      TDXDraw draw(window);
      draw.SetOptions(options);
      draw.AutoSize = true;
      draw.Initialize();
      SDL_ShowWindow(window);
      draw.Surface().Fill(0);
      draw.Surface().LoadFromBitmap(frame);
      draw.Flip();
      used = draw.Path();  // the way this frame went
      // Everything sent before the screenshot's own connection asks.
      if (_XDisplay* dpy = Application::XDisplayOf(window)) XSync(dpy, False);
      shot = tavtest::Screenshot(display, Application::XWindowOf(window));
    }
    SDL_DestroyWindow(window);
  }
  unsetenv(kPresentPathVariable);
  return shot;
}

TEST(PresentPaths, GlAndFramebufferShowTheSamePixels) {
  TAV_SYSTEM_LIBRARIES_MAY_LEAK();
  tavtest::Xvfb x(640, 480);
  ASSERT_TRUE(x.Ok());
  const char* saved = std::getenv("DISPLAY");
  const std::string savedDisplay = saved ? saved : "";
  setenv("DISPLAY", x.Display().c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");

  // Odd frame sizes against even windows: no screen pixel centre falls
  // exactly on a frame pixel's edge, where GL's rounding is its own.
  struct Case {
    int frameW, frameH, windowW, windowH;
    DXDrawOptions options;
  } cases[] = {
      {200, 150, 400, 300, {O::doStretch}},   // twice the size
      {153, 113, 400, 300, {O::doStretch}},   // 2.6 times
      {457, 343, 400, 300, {O::doStretch}},   // smaller
      {153, 113, 400, 300, {O::doCenter}},    // centred, odd margins
      {457, 343, 400, 300, {O::doCenter}},    // centred and cut at all four edges
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frameW << "x" << c.frameH << " in " << c.windowW << "x" << c.windowH
                                    << (c.options.Has(O::doStretch) ? " stretched" : " centred"));
    const TDIB frame = RandomFrame(c.frameW, c.frameH);
    const bool stretch = c.options.Has(O::doStretch);
    const int shownW = stretch ? c.windowW : c.frameW, shownH = stretch ? c.windowH : c.frameH;
    const int left = stretch ? 0 : (c.windowW - c.frameW) / 2, top = stretch ? 0 : (c.windowH - c.frameH) / 2;
    for (const auto& [path, expected] : {std::pair{"gl", PresentPath::Gl}, std::pair{"software", PresentPath::Software},
                                         std::pair{"xrender", PresentPath::XRender}}) {
      SCOPED_TRACE(path);
      PresentPath used{};
      const auto shot = Present(x.Display(), path, frame, c.windowW, c.windowH, c.options, used);
      ASSERT_TRUE(shot);
      EXPECT_EQ(used, expected);
      ASSERT_EQ(shot->width, c.windowW);
      ASSERT_EQ(shot->height, c.windowH);
      int wrong = 0;
      for (int y = 0; y < c.windowH; ++y) {
        const int sy = CoveringPixel(y, top, shownH, c.frameH);
        for (int xx = 0; xx < c.windowW; ++xx) {
          const int sx = CoveringPixel(xx, left, shownW, c.frameW);
          uint8_t want[3] = {0, 0, 0};
          if (sx >= 0 && sy >= 0) {
            const uint8_t* p = frame.ScanLineRead(sy) + 3 * sx;
            want[0] = p[2], want[1] = p[1], want[2] = p[0];
          }
          if (shot->R(xx, y) != want[0] || shot->G(xx, y) != want[1] || shot->B(xx, y) != want[2]) {
            if (++wrong <= 3)
              ADD_FAILURE() << "(" << xx << ", " << y << ") shows " << int(shot->R(xx, y)) << ","
                            << int(shot->G(xx, y)) << "," << int(shot->B(xx, y)) << " instead of frame pixel ("
                            << sx << ", " << sy << ")";
          }
        }
      }
      EXPECT_EQ(wrong, 0);
    }
  }
  if (savedDisplay.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", savedDisplay.c_str(), 1);
}

}  // namespace
}  // namespace tav
