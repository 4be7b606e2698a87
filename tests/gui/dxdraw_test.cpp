// The display surface and the application object on SDL's dummy video
// driver: no X server needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/application.hpp"
#include "display/dxdraw.hpp"

namespace tav {
namespace {

using O = TDXDrawOption;

class DummyVideo : public ::testing::Test {
 protected:
  DummyVideo() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    app_ = std::make_unique<Application>("Tavorensia Screensaver");
    window_ = SDL_CreateWindow("Full", 0, 0, 800, 600, SDL_WINDOW_BORDERLESS);
  }
  ~DummyVideo() override {
    SDL_DestroyWindow(window_);
    app_.reset();
    unsetenv("SDL_VIDEODRIVER");
  }
  std::unique_ptr<Application> app_;
  SDL_Window* window_ = nullptr;
};

// Reads the pixel at (x, y) of what Flip drew, just before it is presented.
uint32_t PixelAfterFlip(TDXDraw& d, int x, int y) {
  uint32_t pixel = 0xDEADBEEF;
  d.OnAfterDraw = [&](SDL_Renderer* r) {
    SDL_Rect px{x, y, 1, 1};
    SDL_RenderReadPixels(r, &px, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  };
  d.Flip();
  d.OnAfterDraw = nullptr;
  return pixel & 0xFFFFFF;
}

TDIB Bitmap(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  TDIB dib;
  dib.SetBitCount(24);
  dib.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
  return dib;
}

TEST_F(DummyVideo, StretchFillsTheControlCenterDoesNot) {
  TDXDraw d(window_);
  DXDrawOptions options = kDefaultDXDrawOptions;
  d.SetOptions(options.Add(O::doStretch));
  d.Initialize();
  ASSERT_TRUE(d.ReadyToDraw());
  EXPECT_EQ(d.SurfaceWidth(), 800);  // AutoSize: the control's size
  d.Surface().Fill(0);
  d.Surface().LoadFromBitmap(Bitmap(200, 150, 0x10, 0x80, 0xF0));
  EXPECT_EQ(d.SurfaceWidth(), 200);
  EXPECT_EQ(PixelAfterFlip(d, 5, 5), 0x1080F0u);
  EXPECT_EQ(PixelAfterFlip(d, 795, 595), 0x1080F0u);

  d.SetOptions(kDefaultDXDrawOptions);  // doCenter without doStretch
  EXPECT_EQ(PixelAfterFlip(d, 299, 224), 0u);
  EXPECT_EQ(PixelAfterFlip(d, 300, 225), 0x1080F0u);
  EXPECT_EQ(PixelAfterFlip(d, 499, 374), 0x1080F0u);
  EXPECT_EQ(PixelAfterFlip(d, 500, 375), 0u);
}

TEST_F(DummyVideo, ControlCoversOnlyItsRectangleOfTheWindow) {
  SDL_SetWindowSize(window_, 400, 425);
  TDXDraw d(window_);
  d.AutoSize = false;
  d.SetBounds(0, 0, 400, 300);
  d.SetOptions({O::doAllowReboot, O::doDirectX7Mode, O::doHardware, O::doSelectDriver, O::doStretch});
  EXPECT_EQ(d.NowOptions(), (DXDrawOptions{O::doStretch}));
  d.Initialize();
  d.Surface().LoadFromBitmap(Bitmap(640, 480, 0xFF, 0, 0));
  EXPECT_EQ(PixelAfterFlip(d, 399, 299), 0xFF0000u);
  EXPECT_EQ(PixelAfterFlip(d, 200, 310), 0u);
}

TEST_F(DummyVideo, LostSurfacesComeBackWhenTheWindowShowsAgainOrAfterAReset) {
  TDXDraw d(window_);
  d.SetOptions({O::doStretch});
  SDL_ShowWindow(window_);
  d.Initialize();
  ASSERT_TRUE(d.ReadyToDraw());
  d.Surface().LoadFromBitmap(Bitmap(4, 4, 0xFF, 0xFF, 0xFF));
  auto pump = [&] {
    SDL_Event e;
    while (SDL_PollEvent(&e)) d.HandleEvent(e);
  };
  EXPECT_EQ(PixelAfterFlip(d, 10, 10), 0xFFFFFFu);
  SDL_HideWindow(window_);
  pump();
  EXPECT_FALSE(d.ReadyToDraw());
  SDL_ShowWindow(window_);
  pump();
  EXPECT_TRUE(d.ReadyToDraw());
  EXPECT_EQ(d.SurfaceWidth(), 4);
  EXPECT_EQ(PixelAfterFlip(d, 10, 10), 0u);  // restored surfaces are black

  for (Uint32 type : {SDL_RENDER_TARGETS_RESET, SDL_RENDER_DEVICE_RESET}) {
    d.Surface().LoadFromBitmap(Bitmap(4, 4, 0xFF, 0xFF, 0xFF));
    SDL_Event e{};
    e.type = type;
    SDL_PushEvent(&e);
    pump();
    EXPECT_TRUE(d.ReadyToDraw()) << type;
    d.Surface().LoadFromBitmap(Bitmap(4, 4, 0, 0xFF, 0));
    EXPECT_EQ(PixelAfterFlip(d, 10, 10), 0x00FF00u) << type;
  }
}

TEST_F(DummyVideo, FinalizeKeepsTheSurfaceSizeAndInitializeNeedsAWindow) {
  TDXDraw d(window_);
  d.AutoSize = false;
  d.SetSurfaceWidth(320);
  d.SetSurfaceHeight(200);
  d.Initialize();
  d.Surface().LoadFromBitmap(Bitmap(64, 48, 1, 2, 3));
  d.Finalize();
  EXPECT_FALSE(d.ReadyToDraw());
  EXPECT_EQ(d.SurfaceWidth(), 64);
  EXPECT_EQ(d.SurfaceHeight(), 48);
  d.Flip();  // harmless when not initialized

  TDXDraw orphan(nullptr);
  try {
    orphan.Initialize();
    ADD_FAILURE() << "no error";
  } catch (const EDXDrawError& e) {
    EXPECT_STREQ(e.what(), "Form not found");
  }
  EXPECT_FALSE(orphan.Initialized());
}

TEST_F(DummyVideo, FullScreenModeThatCannotBeSetNamesTheRequest) {
  TDXDraw d(window_);
  DXDrawOptions options = kDefaultDXDrawOptions;
  d.SetOptions(options.Add(O::doFullScreen).Add(O::doStretch));
  d.Display.SetWidth(99999);
  d.Display.SetHeight(480);
  d.Display.SetBitCount(24);
  try {
    d.Initialize();
    ADD_FAILURE() << "no error";
  } catch (const EDXDrawError& e) {
    EXPECT_STREQ(e.what(), "Display mode cannot be changed (99999x480 24bit)");
  }
  EXPECT_FALSE(d.Initialized());
}

TEST_F(DummyVideo, ErrorInAHandlerStopsThatHandlerAndTheLoopCarriesOn) {
  std::vector<Uint32> seen;
  app_->SetMainWindow(window_, [&](const SDL_Event& e) {
    if (e.type != SDL_USEREVENT) return;
    seen.push_back(e.user.code);
    if (e.user.code == 1) throw std::runtime_error("Surface cannot be made");
    if (e.user.code == 2) app_->Terminate();
  });
  std::vector<std::string> boxed;  // the main window's error box, as a form would draw it
  app_->SetErrorBox([&](const std::string& message, uint32_t) {
    boxed.push_back(message);
    return true;
  });
  for (int code : {1, 2}) {
    SDL_Event e{};
    e.type = SDL_USEREVENT;
    e.user.code = code;
    SDL_PushEvent(&e);
  }
  testing::internal::CaptureStderr();
  app_->Run();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(seen, (std::vector<Uint32>{1, 2}));
  EXPECT_EQ(boxed, std::vector<std::string>{"Surface cannot be made"});
  EXPECT_NE(err.find("Surface cannot be made"), std::string::npos) << err;
}

TEST_F(DummyVideo, CursorIsShownWhileTheCountIsNotNegative) {
  struct Step {
    bool show;
    int count;
    bool visible;
  } steps[] = {{false, -1, false}, {false, -2, false}, {true, -1, false}, {true, 0, true}, {true, 1, true}};
  for (const auto& s : steps) {
    EXPECT_EQ(app_->ShowCursor(s.show), s.count);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE, s.visible) << s.count;
  }
}

}  // namespace
}  // namespace tav
