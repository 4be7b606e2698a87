// Option rules, display-mode choice and the present rectangle of the display surface.
#include <gtest/gtest.h>

#include <array>

#include "display/dxdraw_logic.hpp"
#include "display/present_path.hpp"

namespace tav {
namespace {

using O = TDXDrawOption;

TEST(DXDrawOptions, EffectiveOptionsOfBothForms) {
  DXDrawOptions fullScreen = kDefaultDXDrawOptions;
  fullScreen.Add(O::doFullScreen).Add(O::doStretch);
  EXPECT_EQ(EffectiveOptions(fullScreen, {}, false),
            (DXDrawOptions{O::doFullScreen, O::doAllowReboot, O::doWaitVBlank, O::doStretch, O::doCenter}));

  const DXDrawOptions settings{O::doAllowReboot, O::doDirectX7Mode, O::doHardware, O::doSelectDriver, O::doStretch};
  EXPECT_EQ(EffectiveOptions(settings, {}, false), (DXDrawOptions{O::doStretch}));
}

TEST(DXDrawOptions, ReductionRules) {
  struct Case {
    DXDrawOptions assigned, expected;
  } cases[] = {
      {{O::doNoWindowChange, O::doAllowPalette256, O::doFlip}, {}},
      {{O::doFullScreen, O::doFlip, O::doSystemMemory}, {O::doFullScreen, O::doSystemMemory}},
      {{O::do3D, O::doDirectX7Mode, O::doRetainedMode, O::doHardware, O::doZBuffer},
       {O::do3D, O::doDirectX7Mode, O::doZBuffer}},
      {{O::do3D, O::doRetainedMode, O::doSelectDriver}, {O::do3D, O::doRetainedMode, O::doSelectDriver}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EffectiveOptions(c.assigned, {}, false), c.expected) << c.assigned.Bits();
}

TEST(DXDrawOptions, WhileInitializedOnlyPresentationOptionsFollow) {
  const DXDrawOptions current{O::doFullScreen, O::doAllowReboot, O::doWaitVBlank, O::doCenter};
  const DXDrawOptions assigned{O::doStretch, O::doFlip, O::doHardware};
  EXPECT_EQ(EffectiveOptions(assigned, current, true),
            (DXDrawOptions{O::doFullScreen, O::doAllowReboot, O::doStretch}));
}

TEST(DXDrawDisplay, BitCountCheckKeepsOldValueAndNegativeSizesAreZero) {
  TDXDrawDisplay d;
  for (int ok : {8, 16, 24, 32}) {
    d.SetBitCount(ok);
    EXPECT_EQ(d.BitCount(), ok);
  }
  for (int bad : {0, 1, 4, 15, 64}) {
    try {
      d.SetBitCount(bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const EDirectDrawError& e) {
      EXPECT_STREQ(e.what(), "It should be either of 8 or 16 or 24 or 32");
    }
    EXPECT_EQ(d.BitCount(), 32);
  }
  d.SetWidth(-3);
  d.SetHeight(-1);
  EXPECT_EQ(d.Width(), 0);
  EXPECT_EQ(d.Height(), 0);
}

TEST(DXDrawDisplay, ClosestModeIsTheSmallestThatHoldsTheRequest) {
  const std::vector<DisplayMode> modes{
      {1920, 1080, 32}, {1280, 1024, 16}, {1280, 1024, 32}, {1024, 768, 32}, {800, 600, 8}, {640, 480, 32}};
  struct Case {
    DisplayMode want;
    std::optional<DisplayMode> got;
  } cases[] = {
      {{1000, 700, 24}, DisplayMode{1024, 768, 32}},
      {{1200, 900, 16}, DisplayMode{1280, 1024, 16}},   // the requested depth at that size
      {{1200, 900, 24}, DisplayMode{1280, 1024, 16}},   // any depth above 8 bits will do
      {{700, 500, 8}, DisplayMode{800, 600, 8}},
      {{700, 500, 32}, DisplayMode{1024, 768, 32}},     // an 8-bit mode must reach the depth
      {{2000, 1200, 32}, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto got = ClosestDisplayMode(modes, c.want);
    EXPECT_EQ(got.has_value(), c.got.has_value()) << c.want.Width << "x" << c.want.Height << "x" << c.want.BitCount;
    if (got && c.got) {
      EXPECT_EQ(*got, *c.got) << c.want.Width << "x" << c.want.Height << "x" << c.want.BitCount;
    }
  }
}

TEST(DXDrawPresent, StretchFillsCenterCentresAtOwnSize) {
  const Rect control{0, 0, 800, 600};
  struct Case {
    DXDrawOptions options;
    Rect control;
    int w, h;
    Rect expected;
  } cases[] = {
      {{O::doStretch}, control, 200, 150, {0, 0, 800, 600}},
      {{O::doStretch, O::doCenter}, control, 200, 150, {0, 0, 800, 600}},
      {{O::doCenter}, control, 200, 150, {300, 225, 500, 375}},
      {{}, control, 200, 150, {0, 0, 200, 150}},
      {{O::doCenter}, {0, 0, 400, 300}, 401, 301, {0, 0, 401, 301}},     // -1 div 2 truncates to 0
      {{O::doCenter}, {0, 0, 400, 300}, 403, 303, {-1, -1, 402, 302}},
      {{O::doStretch}, {0, 0, 400, 300}, 640, 480, {0, 0, 400, 300}},
  };
  for (const auto& c : cases) {
    const Rect r = PresentRect(c.options, c.control, c.w, c.h);
    EXPECT_EQ((std::array{r.Left, r.Top, r.Right, r.Bottom}),
              (std::array{c.expected.Left, c.expected.Top, c.expected.Right, c.expected.Bottom}))
        << c.w << "x" << c.h << " options " << c.options.Bits();
  }
}

TEST(PresentPath, HardwareGlOnlyWhereEverythingSaysSoAndTheVariableWins) {
  const auto P = PresentPath::Gl, S = PresentPath::Software, R = PresentPath::XRender;
  struct Case {
    const char* what;
    void (*change)(PresentFacts&);  // from a local X11 display with a GPU
    PresentPath expected;
  } cases[] = {
      {"local GPU", [](PresentFacts&) {}, P},
      {"no render node", [](PresentFacts& f) { f.renderNode = false; }, R},
      {"no direct rendering (Xvfb, Xvnc)", [](PresentFacts& f) { f.directRendering = false; }, R},
      {"remote display", [](PresentFacts& f) { f.remoteDisplay = true; }, R},
      {"LIBGL_ALWAYS_SOFTWARE", [](PresentFacts& f) { f.softwareGl = true; }, R},
      {"no GPU and no RENDER", [](PresentFacts& f) { f.renderNode = false; f.render = false; }, S},
      {"forced software", [](PresentFacts& f) { f.forced = "software"; }, S},
      {"forced xrender", [](PresentFacts& f) { f.forced = "xrender"; }, R},
      {"forced xrender without RENDER", [](PresentFacts& f) { f.forced = "xrender"; f.render = false; }, S},
      {"forced gl", [](PresentFacts& f) { f.forced = "gl"; f.renderNode = false; }, P},
      {"unknown value decides as unset", [](PresentFacts& f) { f.forced = "fast"; f.softwareGl = true; }, R},
      {"not X11: SDL's own path", [](PresentFacts& f) { f.x11 = false; f.forced = "software"; }, P},
  };
  for (const auto& c : cases) {
    PresentFacts f;
    f.x11 = f.renderNode = f.directRendering = f.render = true;
    c.change(f);
    EXPECT_EQ(ChoosePresentPath(f), c.expected) << c.what;
  }

  for (const char* local : {":0", ":1.0", "unix:0", "/tmp/launch-x/org.x:0", ""})
    EXPECT_FALSE(IsRemoteDisplay(local)) << local;
  for (const char* remote : {"localhost:10.0", "host.example:0", "[::1]:0", "10.1.2.3:1"})
    EXPECT_TRUE(IsRemoteDisplay(remote)) << remote;
}

}  // namespace
}  // namespace tav
