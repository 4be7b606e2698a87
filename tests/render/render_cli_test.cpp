#include <gtest/gtest.h>
#include <unistd.h>

#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "renderer_bound.hpp"
#include "settings/command_line.hpp"
#include "settings/host_window_request.hpp"

#ifdef TAV_RENDER_EXE

namespace {

namespace fs = std::filesystem;

class RenderCommand : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavorensia-render-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Result {
    int exitCode;
    std::string out, err;
  };
  Result Run(const std::string& args) {
    const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    const std::string cmd =
        Quoted(TAV_RENDER_EXE) + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
  }
  // A word for sh: the build tree's path may hold spaces.
  static std::string Quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  static int32_t Le32(const std::string& s, std::size_t at) {
    return static_cast<int32_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
                                static_cast<uint8_t>(s[at + 2]) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(RenderCommand, BadOptionsAreUsageErrors) {
  const char* cases[] = {
      "--frames 0",       "--size 640x480 --wallpaper 1", "--stream --size 15x480", "--size 640x4321",
      "--stream --size 640", "--stream --wallpaper 1", "--stream --bench",
      "--bogus",          "--satiation 101", "--satiation -1", "--fast 101",
      "--picture 101",    "--blur -1",       "--color 11",     "--wallpaper 0",
      "--wallpaper 7",    "--frames -1",     "--seed -1",      "--seed 4294967296",
      "--fast",           "--fast 1x",       "--fast ''",      "-o",
      "extra",
  };
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const Result r = Run(args);
    EXPECT_EQ(r.exitCode, 2);
    // One line naming the problem, not the whole usage text.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("Try --help"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Usage:"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

// The two programs' command lines: the saver's options (as XScreenSaver
// passes them) and the renderer's name the same settings, and both programs
// take both names; -root is --root; --help and --version print and end; a
// picture is only ever a .png or .bmp file.
TEST_F(RenderCommand, BothProgramsTakeBothNamesOfEachOption) {
  using Args = std::vector<std::string>;
  // The saver's parse of the arguments after "/s" (or of the whole line for
  // the first argument's requests).
  const struct {
    Args argv;  // from argv[1]
    tav::SettingsOverrides settings;
    std::string error;
    bool root;
    tav::InformationRequest request;
  } saver[] = {
      {{"/s", "--speed", "7", "--detail", "8", "--vanguard", "9", "--picture", "10", "--color", "3", "--random"},
       {7, 8, 10, 9, 3, 1}, "", false, tav::InformationRequest::Neither},
      {{"/s", "--fast", "7", "--satiation", "8", "--blur", "9", "--no-random"},
       {7, 8, {}, 9, {}, 0}, "", false, tav::InformationRequest::Neither},
      {{"/s", "--fast", "101"}, {}, "--fast needs a whole number from 0 to 100", false, tav::InformationRequest::Neither},
      {{"/s", "--blur"}, {}, "--blur needs a whole number from 0 to 100, and none", false, tav::InformationRequest::Neither},
      {{"/s", "--satiation", "x"}, {}, "--satiation needs", false, tav::InformationRequest::Neither},
      {{"-root"}, {}, "", true, tav::InformationRequest::Neither},
      {{"--root", "--vanguard", "4"}, {{}, {}, {}, 4, {}, {}}, "", true, tav::InformationRequest::Neither},
      {{"-ROOT"}, {}, "", false, tav::InformationRequest::Neither},  // the switch R, as always
      {{"-r"}, {}, "", false, tav::InformationRequest::Neither},
      {{"--help"}, {}, "", false, tav::InformationRequest::Help},
      {{"--version"}, {}, "", false, tav::InformationRequest::Version},
      {{"/s", "--help"}, {}, "", false, tav::InformationRequest::Neither},  // ignored after a switch
  };
  for (const auto& c : saver) {
    std::vector<const char*> argv{"tavorensia"};
    for (const auto& a : c.argv) argv.push_back(a.c_str());
    SCOPED_TRACE(testing::PrintToString(c.argv));
    const auto o = tav::ParseFullScreenOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(o.settings.Fast, c.settings.Fast);
    EXPECT_EQ(o.settings.Satiation, c.settings.Satiation);
    EXPECT_EQ(o.settings.Picture, c.settings.Picture);
    EXPECT_EQ(o.settings.Blur, c.settings.Blur);
    EXPECT_EQ(o.settings.Color, c.settings.Color);
    EXPECT_EQ(o.settings.Rands, c.settings.Rands);
    EXPECT_EQ(o.error.substr(0, c.error.size()), c.error);
    EXPECT_EQ(o.error.empty(), c.error.empty());
    EXPECT_EQ(tav::DesktopBackgroundRequest(static_cast<int>(argv.size()), argv.data(), nullptr), c.root);
    EXPECT_EQ(tav::InformationRequestOf(static_cast<int>(argv.size()), argv.data()), c.request);
  }

  // Both programs run: exit status, what they print (stderr in one line),
  // and for the renderer the picture an alias gives against the one its
  // other name gives.
  const struct {
    const char* exe;
    std::string args;
    int status;
    std::vector<std::string> out, err;  // substrings; none: nothing printed there
    std::string sameAs;                  // the renderer's picture equals this line's
  } runs[] = {
#ifdef TAV_SAVER_EXE
      {TAV_SAVER_EXE, "--help", 0, {"Usage: tavorensia", "--speed N, --fast N", "--detail N, --satiation N",
                                    "--vanguard N, --blur N", "--root, -root", "/c"}, {}, ""},
      {TAV_SAVER_EXE, "--version", 0, {"tavorensia " TAV_PROJECT_VERSION "\n"}, {}, ""},
      {TAV_SAVER_EXE, "/s --fast 200", 2, {}, {"--fast needs a whole number from 0 to 100"}, ""},
#endif
      {TAV_RENDER_EXE, "--help", 0, {"--fast N, --speed N", "--satiation N, --detail N", "--blur N, --vanguard N",
                                     "--random, --no-random", "--version"}, {}, ""},
      {TAV_RENDER_EXE, "--version", 0, {"tavorensia-render " TAV_PROJECT_VERSION "\n"}, {}, ""},
      {TAV_RENDER_EXE, "--seed 3 --speed 40 --detail 5 --vanguard 60 -o speed.bmp", 0, {}, {},
       "--seed 3 --fast 40 --satiation 5 --blur 60 -o fast.bmp"},
      {TAV_RENDER_EXE, "--detail 101", 2, {}, {"--detail needs a whole number from 0 to 100", "Try --help"}, ""},
      {TAV_RENDER_EXE, "--bogus", 2, {}, {"unknown option '--bogus'", "Try --help"}, ""},
      {TAV_RENDER_EXE, "-o picture.jpg", 2, {}, {"picture.jpg", ".png", ".bmp"}, ""},
      {TAV_RENDER_EXE, "-o picture", 2, {}, {".png", ".bmp"}, ""},
      {TAV_RENDER_EXE, "--seed 1 --satiation 0 -o UPPER.BMP", 0, {}, {}, ""},
      {TAV_RENDER_EXE, "--seed 1 --satiation 0 -o Mixed.Png", 0, {}, {}, ""},
      {TAV_RENDER_EXE, "--stream --frames 1 --satiation 0 -o video.y4m", 0, {}, {}, ""},
  };
  for (const auto& c : runs) {
    SCOPED_TRACE(std::string(c.exe) + " " + c.args);
    const std::string out = Path("stdout"), err = Path("stderr");
    const std::string cmd = "cd " + dir_ + " && env -u DISPLAY -u WAYLAND_DISPLAY " + Quoted(c.exe) + " " + c.args +
                            " >" + out + " 2>" + err;
    const int status = std::system(cmd.c_str());
    const std::string o = Read(out), e = Read(err);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << e;
    for (const auto& want : c.out) EXPECT_NE(o.find(want), std::string::npos) << want << " in " << o;
    for (const auto& want : c.err) EXPECT_NE(e.find(want), std::string::npos) << want << " in " << e;
    if (c.out.empty()) { EXPECT_TRUE(o.empty()) << o; }
    if (c.err.empty()) { EXPECT_TRUE(e.empty()) << e; }
    if (!c.err.empty()) { EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e; }
    const auto named = [](const std::string& args) { return args.substr(args.rfind(' ') + 1); };
    if (c.status == 0 && c.args.find(" -o ") != std::string::npos) {
      const std::string file = Path(named(c.args));
      EXPECT_TRUE(fs::exists(file));
      const std::string head = Read(file).substr(0, 4);
      if (c.args.find(".y4m") != std::string::npos) EXPECT_EQ(head, "YUV4");
      else if (c.args.find(".Png") != std::string::npos) EXPECT_EQ(head, "\x89PNG");
      else EXPECT_EQ(head.substr(0, 2), "BM");
    }
    if (!c.sameAs.empty()) {
      ASSERT_EQ(std::system((std::string("cd ") + dir_ + " && " + Quoted(c.exe) + " " + c.sameAs).c_str()), 0);
      EXPECT_EQ(Read(Path(named(c.args))), Read(Path(named(c.sameAs))));
    }
  }
}

TEST_F(RenderCommand, HelpPrintsUsageAndSucceeds) {
  const Result r = Run("--help");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("--wallpaper K"), std::string::npos);
}

TEST_F(RenderCommand, UnwritableOutputReportsTheFile) {
  const std::string target = Path("missing-folder/frame.bmp");
  const Result r = Run("--seed 1 --satiation 0 -o " + target);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Cannot create file " + target), std::string::npos);
  EXPECT_FALSE(fs::exists(target));
}

// A disk that fills up mid-write: a small file system of its own (root
// only, and only where mounting is allowed). The error names the file and
// the reason, and no partial file is left in its place.
TEST_F(RenderCommand, FullDiskReportsTheFileAndLeavesNothing) {
  const std::string mount = Path("small");
  fs::create_directories(mount);
  if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs '" + mount + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  for (const char* name : {"wall.bmp", "wall.png"}) {
    SCOPED_TRACE(name);
    const std::string target = mount + "/" + name;
    const Result r = Run("--seed 2 --size 1024x768 --satiation 100 -o " + target);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(mount));  // no temporary file left either
  }
  EXPECT_EQ(std::system(("umount '" + mount + "'").c_str()), 0);
}

TEST_F(RenderCommand, WritesFieldOrWallpaperOfTheExpectedSize) {
  const struct {
    std::string args;
    int32_t width, height;
  } cases[] = {
      {"", 370, 277},                        // full-screen defaults
      {"--satiation 0 --frames 3", 242, 181},
      {"--satiation 59 --picture 80", 610, 458},
      {"--wallpaper 3 --satiation 50", 1024, 768},
      {"--wallpaper 1 --satiation 30 --frames 2", 640, 480},
      {"--size 1366x768 --satiation 100", 1366, 768},
      {"--size 16x16 --satiation 0", 16, 16},
      {"--size 2560x1440 --satiation 100", 2560, 1440},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string file = Path("out.bmp");
    ASSERT_EQ(Run("--seed 11 " + c.args + " -o " + file).exitCode, 0);
    const std::string bmp = Read(file);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 18), c.width);
    EXPECT_EQ(Le32(bmp, 22), c.height);
    const std::size_t rowBytes = (static_cast<std::size_t>(c.width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(bmp.size(), 54 + rowBytes * static_cast<std::size_t>(c.height));
    // Something was drawn: not every pixel byte is zero.
    EXPECT_NE(bmp.find_first_not_of('\0', 54), std::string::npos);
  }
}

TEST_F(RenderCommand, SameSeedGivesTheSameFile) {
  const struct {
    std::string args;
  } cases[] = {
      {"--satiation 80 --frames 3"},
      {"--satiation 30 --picture 70 --blur 20 --color 9 --frames 2"},
      {"--wallpaper 1 --satiation 70 --frames 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    ASSERT_EQ(Run(c.args + " --seed 1234 -o " + Path("a.bmp")).exitCode, 0);
    ASSERT_EQ(Run(c.args + " --seed 1234 -o " + Path("b.bmp")).exitCode, 0);
    ASSERT_EQ(Run(c.args + " --seed 1235 -o " + Path("c.bmp")).exitCode, 0);
    const std::string a = Read(Path("a.bmp"));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, Read(Path("b.bmp")));
    EXPECT_NE(a, Read(Path("c.bmp")));  // the seed is what makes them equal
  }
}

TEST_F(RenderCommand, BenchPrintsOneSummaryLine) {
  const Result r = Run("--seed 3 --satiation 30 --frames 4 --bench");
  ASSERT_EQ(r.exitCode, 0);
  int frames = 0, points = 0;
  double median = -1, p99 = -1;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "bench: frames=%d points=%d median_ms=%lf p99_ms=%lf",
                        &frames, &points, &median, &p99),
            4)
      << r.out;
  EXPECT_EQ(frames, 4);
  EXPECT_EQ(points, 15361);  // 320 x 240 / 5, plus point 0
  EXPECT_GE(median, 0);
  EXPECT_GE(p99, median);
}

TEST_F(RenderCommand, CompareCountsTheBytesOfEveryFrameOrOfTheWallpaper) {
  const struct {
    std::string args;
    int frames;
    long long bytes;
  } cases[] = {
      {"--satiation 30 --blur 100 --picture 75 --frames 3", 3, 3LL * 320 * 240 * 3},
      {"--satiation 100 --blur 100 --color 9 --frames 2", 2, 2LL * 640 * 480 * 3},
      {"--satiation 90 --wallpaper 1", 1, 640LL * 480 * 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args + " --seed 77 --compare");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int frames = 0;
    long long bytes = 0, differing = -1, beyondOne = -1;
    double identical = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(),
                          "compare: frames=%d bytes=%lld differing=%lld beyond_one=%lld "
                          "identical_pct=%lf",
                          &frames, &bytes, &differing, &beyondOne, &identical),
              5)
        << r.out;
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_LE(beyondOne, differing);
    EXPECT_TRUE(tavtest::WithinRendererBound(bytes, differing, beyondOne));
    EXPECT_NEAR(identical, 100.0 * static_cast<double>(bytes - differing) / bytes, 1e-4);
  }
}

// The PNG of a render, decoded by libpng's reader, holds the pixels of the
// BMP of the same render (the BMP's rows are bottom-up, padded, blue first).
TEST_F(RenderCommand, PngHoldsThePixelsOfTheBmp) {
  const struct {
    std::string args, png;
  } cases[] = {
      {"--satiation 80 --frames 2", "frame.png"},  // 370 x 277: padded BMP rows
      {"--wallpaper 1 --satiation 50 --color 9", "wall.PNG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    ASSERT_EQ(Run(c.args + " --seed 5 -o " + Path("same.bmp")).exitCode, 0);
    ASSERT_EQ(Run(c.args + " --seed 5 -o " + Path(c.png)).exitCode, 0);
    const std::string bmp = Read(Path("same.bmp"));
    ASSERT_GE(bmp.size(), 54u);
    const int32_t w = Le32(bmp, 18), h = Le32(bmp, 22);
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, Path(c.png).c_str())) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(w));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(h));
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;

    std::vector<uint8_t> fromBmp;
    for (int32_t y = 0; y < h; ++y) {
      const std::size_t row = 54 + static_cast<std::size_t>(h - 1 - y) * rowBytes;
      for (int32_t x = 0; x < w; ++x) {
        const std::size_t at = row + static_cast<std::size_t>(x) * 3;
        fromBmp.insert(fromBmp.end(), {static_cast<uint8_t>(bmp[at + 2]),
                                       static_cast<uint8_t>(bmp[at + 1]),
                                       static_cast<uint8_t>(bmp[at])});
      }
    }
    EXPECT_EQ(rgb, fromBmp);
  }
}

// Every frame of the stream, turned back into RGB, is the full-screen field
// of the same seed after as many frames (stretched to --size as the saver
// stretches it: the source pixel under each destination pixel's centre),
// within the rounding of an 8-bit BT.601 round trip.
TEST_F(RenderCommand, StreamFramesAreTheFieldInYuv) {
  const struct {
    std::string args;
    int frames;
    bool toFile;
    int32_t width, height;  // 0: the field's size
  } cases[] = {
      {"--satiation 80 --blur 40", 10, true, 0, 0},
      {"--satiation 30 --color 9", 3, false, 641, 479},
      {"--satiation 100 --picture 60", 2, false, 1280, 720},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string frames = " --frames " + std::to_string(c.frames);
    ASSERT_EQ(Run(c.args + frames + " --seed 7 -o " + Path("last.bmp")).exitCode, 0);
    const std::string bmp = Read(Path("last.bmp"));
    ASSERT_GE(bmp.size(), 54u);
    const int32_t fw = Le32(bmp, 18), fh = Le32(bmp, 22);
    const std::size_t fieldRow = (static_cast<std::size_t>(fw) * 3 + 3) / 4 * 4;
    const int32_t w = c.width ? c.width : fw, h = c.height ? c.height : fh;

    const std::string size =
        c.width ? " --size " + std::to_string(c.width) + "x" + std::to_string(c.height) : "";
    const Result r = Run(c.args + frames + size + " --seed 7 --stream" +
                         (c.toFile ? " -o " + Path("v.y4m") : ""));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string y4m = c.toFile ? Read(Path("v.y4m")) : r.out;
    const std::string header = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) +
                               " F1000:31 Ip A1:1 C444 XCOLORRANGE=LIMITED\n";
    ASSERT_EQ(y4m.substr(0, header.size()), header);
    const std::size_t plane = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::size_t frameBytes = 6 + 3 * plane;
    ASSERT_EQ(y4m.size(), header.size() + c.frames * frameBytes);
    for (int f = 0; f < c.frames; ++f) {
      EXPECT_EQ(y4m.substr(header.size() + f * frameBytes, 6), "FRAME\n");
    }
    const std::size_t last = header.size() + (c.frames - 1) * frameBytes + 6;
    int worst = 0;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const std::size_t i = last + static_cast<std::size_t>(y) * w + x;
        const double Y = 1.164383 * (static_cast<uint8_t>(y4m[i]) - 16);
        const double U = static_cast<uint8_t>(y4m[i + plane]) - 128.0;
        const double V = static_cast<uint8_t>(y4m[i + 2 * plane]) - 128.0;
        const double rgb[3] = {Y + 1.596027 * V, Y - 0.391762 * U - 0.812968 * V,
                               Y + 2.017232 * U};
        const int64_t sx = (2 * x + 1) * int64_t{fw} / (2 * w), sy = (2 * y + 1) * int64_t{fh} / (2 * h);
        const std::size_t at = 54 + static_cast<std::size_t>(fh - 1 - sy) * fieldRow + sx * 3;
        for (int k = 0; k < 3; ++k) {
          const int want = static_cast<uint8_t>(bmp[at + 2 - k]);
          const int got = static_cast<int>(std::lround(std::clamp(rgb[k], 0.0, 255.0)));
          worst = std::max(worst, std::abs(got - want));
        }
      }
    }
    EXPECT_LE(worst, 2);
  }
}

// A live stream ends when its reader closes the pipe, with status 0.
TEST_F(RenderCommand, StreamEndsQuietlyWhenTheReaderCloses) {
  const std::string cmd = "bash -c " + Quoted(Quoted(TAV_RENDER_EXE) +
                                               " --stream --frames 0 --seed 2 2>" + Path("err") +
                                               " | head -c 1000000 >/dev/null; exit ${PIPESTATUS[0]}");
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read(Path("err")), "");
}

}  // namespace

#endif
