// tavorensia-render: renders the frames and wallpapers of the screen saver
// without a screen and writes them as 24-bit BMP or PNG files.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "generator/settings.hpp"
#include "display/dib.hpp"
#include "display/png.hpp"
#include "generator/generator.hpp"
#include "generator/large_wallpaper.hpp"
#include "generator/random.hpp"
#include "render/y4m_stream.hpp"
#include "settings/command_line.hpp"
#include "settings/settings_store.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: tavorensia-render [--fast N] [--satiation N] [--picture N] [--blur N] [--color N]\n"
    "                         [--random] [--seed N] [--frames N] [--wallpaper K] [--bench]\n"
    "                         [--scalar] [--compare] [--stream] [--size WxH] [--icon N]\n"
    "                         [-o FILE]\n"
    "Renders the screen saver's image without a screen.\n"
    "\n"
    "  --fast N, --speed N         speed, 0..100 (default 20)\n"
    "  --satiation N, --detail N   level of detail, 0..100 (default 80)\n"
    "  --picture N                 picture variant, 0..100 (default 25)\n"
    "  --blur N, --vanguard N      modulation strength, 0..100 (default 0)\n"
    "  --color N                   colour mode, 0..10 (default 5)\n"
    "  --random, --no-random       draw picture, blur and colour from the seed, except\n"
    "                  those given, as the saver does (default --no-random)\n"
    "  --seed N        seed of the random generator, 0..4294967295 (default: the clock)\n"
    "  --frames N      frames to render, 1..1000000 (default 1); with --wallpaper, the\n"
    "                  preview frames before the wallpaper render; with --stream,\n"
    "                  0 streams until the reader closes\n"
    "  --wallpaper K   render a wallpaper of size K: 1 640x480, 2 800x600, 3 1024x768,\n"
    "                  4 1152x864, 5 1280x1024, 6 1600x1200\n"
    "  --bench         time each frame (renderer, copy, blur) and print one line\n"
    "                  bench: frames=F points=P median_ms=M p99_ms=Q\n"
    "                  (with --wallpaper the wallpaper render is the one timed frame)\n"
    "  --scalar        use the reference renderer (a wallpaper whose field is larger\n"
    "                  than 1600x1200 is drawn by the fast renderer alone)\n"
    "  --compare       render with both renderers from the same seed and count the\n"
    "                  bitmap bytes in which they differ, and those that differ by\n"
    "                  more than 1 (255 and 0 being neighbours), over every frame\n"
    "                  (or the wallpaper); prints one line\n"
    "                  compare: frames=F bytes=B differing=D beyond_one=E identical_pct=P\n"
    "  --stream        write every full-screen frame as a YUV4MPEG2 video stream (4:4:4,\n"
    "                  BT.601 limited range, 1000/31 frames a second) to standard\n"
    "                  output or to -o FILE\n"
    "  --size WxH      16x16 to 7680x4320: render a wallpaper of that size at its own\n"
    "                  resolution (in place of --wallpaper K); with --stream, the frame\n"
    "                  size, to which the field is stretched as the saver stretches it\n"
    "                  to the screen\n"
    "  --icon N        keep the centre square of the picture, scaled to N x N (16..1024):\n"
    "                  the program's icon\n"
    "  -o FILE         write the full-screen field bitmap, or the wallpaper, to FILE:\n"
    "                  PNG when FILE ends in .png, BMP when it ends in .bmp (any\n"
    "                  case); with --stream, the video, under any name\n"
    "  --help          print this text and exit\n"
    "  --version       print the version and exit\n";

struct Options {
  tav::SettingsOverrides settings;  // over the full-screen first-run defaults
  std::optional<uint32_t> seed;
  int32_t frames = 1;
  int32_t wallpaper = 0;
  bool bench = false;
  bool scalar = false;
  bool compare = false;
  bool stream = false;
  int32_t width = 0, height = 0;  // --size; 0 = the field's own size
  int32_t icon = 0;
  std::string output;
};

struct UsageError {
  std::string message;
};

int64_t ParseNumber(std::string_view option, std::string_view text, int64_t lo, int64_t hi) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw UsageError{std::string(option) + ": not a number: '" + std::string(text) + "'"};
  }
  if (value < lo || value > hi) {
    throw UsageError{std::string(option) + ": " + std::string(text) + " is outside " +
                     std::to_string(lo) + ".." + std::to_string(hi)};
  }
  return value;
}

// The settings of this run: the full-screen first-run defaults, the draws
// of --random from random, then the options given.
tav::Settings RunSettings(const Options& o, tav::RandomGenerator& random) {
  tav::Settings s;
  tav::SetFullScreenDefaults(s);
  s.Rands = 0;  // draws only with --random
  tav::DrawAndOverride(s, random, o.settings);
  return s;
}

enum class Request { Run, Help, Version };

Request Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") return Request::Help;
    if (arg == "--version") return Request::Version;
    std::string error;
    const int taken = tav::ParseSettingOption(argc, argv, i, o.settings, error);
    if (!error.empty()) throw UsageError{error};
    if (taken > 0) {
      i += taken - 1;
      continue;
    }
    if (arg == "--bench") {
      o.bench = true;
      continue;
    }
    if (arg == "--scalar") {
      o.scalar = true;
      continue;
    }
    if (arg == "--compare") {
      o.compare = true;
      continue;
    }
    if (arg == "--stream") {
      o.stream = true;
      continue;
    }
    const bool takesValue = arg == "--seed" || arg == "--frames" || arg == "--wallpaper" ||
                            arg == "--size" || arg == "--icon" || arg == "-o";
    if (!takesValue) throw UsageError{"unknown option '" + std::string(arg) + "'"};
    if (i + 1 >= argc) throw UsageError{std::string(arg) + ": value missing"};
    const std::string_view value = argv[++i];
    if (arg == "-o") {
      if (value.empty()) throw UsageError{"-o: empty file name"};
      o.output = value;
    } else if (arg == "--seed") {
      o.seed = static_cast<uint32_t>(ParseNumber(arg, value, 0, 4294967295LL));
    } else if (arg == "--frames") {
      // 0 is checked against --stream once every option is known.
      o.frames = static_cast<int32_t>(ParseNumber(arg, value, 0, 1000000));
    } else if (arg == "--wallpaper") {
      o.wallpaper = static_cast<int32_t>(ParseNumber(arg, value, 1, 6));
    } else if (arg == "--size") {
      const std::size_t x = value.find('x');
      if (x == std::string_view::npos) throw UsageError{"--size: not WxH: '" + std::string(value) + "'"};
      o.width = static_cast<int32_t>(ParseNumber("--size width", value.substr(0, x), 16, 7680));
      o.height = static_cast<int32_t>(ParseNumber("--size height", value.substr(x + 1), 16, 4320));
    } else if (arg == "--icon") {
      o.icon = static_cast<int32_t>(ParseNumber(arg, value, 16, 1024));
    }
  }
  if (o.frames == 0 && !o.stream) throw UsageError{"--frames 0 needs --stream"};
  if (o.width != 0 && o.wallpaper != 0) throw UsageError{"--size and --wallpaper exclude each other"};
  if (o.stream && (o.bench || o.compare || o.wallpaper != 0)) {
    throw UsageError{"--stream cannot be combined with --bench, --compare or --wallpaper"};
  }
  // A picture in any other format would be BMP bytes under a name that
  // promises something else.
  if (!o.stream && !o.output.empty() && !tav::ImageFileTypeOf(o.output)) {
    throw UsageError{"-o " + o.output + ": a picture is written as .png or .bmp (any case)"};
  }
  return Request::Run;
}

class FrameClock {
 public:
  template <typename F>
  void Time(F&& frame) {
    const auto start = std::chrono::steady_clock::now();
    frame();
    const auto stop = std::chrono::steady_clock::now();
    ms_.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
  }
  void Report(int32_t points) {
    std::sort(ms_.begin(), ms_.end());
    const std::size_t n = ms_.size();
    const double median = n % 2 ? ms_[n / 2] : (ms_[n / 2 - 1] + ms_[n / 2]) / 2;
    // Nearest rank: the smallest time that at least 99% of the frames reach.
    const std::size_t rank = (99 * n + 99) / 100;
    const double p99 = ms_[rank - 1];
    std::printf("bench: frames=%zu points=%d median_ms=%.3f p99_ms=%.3f\n", n, points, median,
                p99);
  }

 private:
  std::vector<double> ms_;
};

// Bytes of two bitmaps of the same shape that differ, and that differ by
// more than 1 on the circle of byte values (255 and 0 are neighbours).
struct ByteTally {
  int64_t bytes = 0, differing = 0, beyondOne = 0;
  void Add(const tav::TDIB& a, const tav::TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) {
      throw std::runtime_error("the two renderers made bitmaps of different sizes");
    }
    const std::size_t row = static_cast<std::size_t>(a.Width()) * (a.BitCount() / 8);
    for (int32_t y = 0; y < a.Height(); ++y) {
      const uint8_t* pa = a.ScanLineRead(y);
      const uint8_t* pb = b.ScanLineRead(y);
      for (std::size_t i = 0; i < row; ++i) {
        const uint8_t up = static_cast<uint8_t>(pa[i] - pb[i]);
        differing += up != 0;
        beyondOne += up > 1 && up < 255;
      }
      bytes += static_cast<int64_t>(row);
    }
  }
};

// The wallpaper's size: --size, else the size table's entry --wallpaper K.
tav::WallpaperSize WallpaperSizeOf(const Options& o) {
  return o.width ? tav::WallpaperSize{o.width, o.height} : tav::kWallpaperSizes[o.wallpaper - 1];
}

// The fast renderer against the reference, frame by frame from one seed.
int Compare(const Options& o, uint32_t seed) {
  tav::Settings settings[2];
  tav::RandomGenerator random[2];
  ByteTally tally;
  int32_t frames = 0;
  if (o.wallpaper == 0 && o.width == 0) {
    std::unique_ptr<tav::PatternGenerator> gen[2];
    for (int i = 0; i < 2; ++i) {
      random[i].SetSeed(seed);
      settings[i] = RunSettings(o, random[i]);
      gen[i] = std::make_unique<tav::PatternGenerator>(tav::GeneratorShape::FullScreen, settings[i],
                                                 random[i]);
      gen[i]->UseReferenceRenderer(i == 1);
      gen[i]->SetupFullScreen();
    }
    for (; frames < o.frames; ++frames) {
      for (auto& g : gen) g->FrameTick();
      tally.Add(gen[0]->FieldBitmap(), gen[1]->FieldBitmap());
    }
  } else {
    const tav::WallpaperSize size = WallpaperSizeOf(o);
    tav::TDIB wallpaper[2];
    for (int i = 0; i < 2; ++i) {
      random[i].SetSeed(seed);
      settings[i] = RunSettings(o, random[i]);
      settings[i].Bright = o.wallpaper;
      tav::PatternGenerator gen(tav::GeneratorShape::SettingsWindow, settings[i], random[i]);
      gen.UseReferenceRenderer(i == 1);
      gen.SetupSettingsWindow(400, 300);
      for (int32_t f = 0; f < o.frames; ++f) gen.PreviewTick();
      wallpaper[i].SetBitCount(24);
      wallpaper[i].SetSize(400, 300);
      tav::RenderWallpaperOfSize(gen, size.Width, size.Height, wallpaper[i]);
    }
    frames = 1;
    tally.Add(wallpaper[0], wallpaper[1]);
  }
  const double identical =
      tally.bytes ? 100.0 * static_cast<double>(tally.bytes - tally.differing) / tally.bytes : 100;
  std::printf("compare: frames=%d bytes=%lld differing=%lld beyond_one=%lld identical_pct=%.5f\n",
              frames, static_cast<long long>(tally.bytes), static_cast<long long>(tally.differing),
              static_cast<long long>(tally.beyondOne), identical);
  return 0;
}

// The given seed, or one from the clock as the saver takes it.
tav::RandomGenerator SeededRandom(const Options& o) {
  tav::RandomGenerator random;
  if (o.seed) {
    random.SetSeed(*o.seed);
  } else {
    random.Randomize();
  }
  return random;
}

// Full-screen frames into a YUV4MPEG2 stream until the frame count is
// reached or the reader goes away; a reader that closes the pipe is the
// normal end of a live stream, not an error.
int Stream(const Options& o) {
  std::signal(SIGPIPE, SIG_IGN);
  int fd = STDOUT_FILENO;
  if (!o.output.empty()) {
    fd = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw tav::EFCreateError("Cannot create file " + o.output);
  }
  tav::RandomGenerator random = SeededRandom(o);
  tav::Settings settings = RunSettings(o, random);
  tav::PatternGenerator gen(tav::GeneratorShape::FullScreen, settings, random);
  gen.UseReferenceRenderer(o.scalar);
  gen.SetupFullScreen();
  tav::Y4mStream stream(fd, o.width ? o.width : gen.FieldWidth(),
                        o.height ? o.height : gen.FieldHeight());
  for (int32_t f = 0; o.frames == 0 || f < o.frames; ++f) {
    gen.FrameTick();
    if (!stream.Write(gen.FieldBitmap())) break;
  }
  if (fd != STDOUT_FILENO && ::close(fd) != 0) throw tav::EWriteError("Stream write error");
  return 0;
}

// The centre square of a picture, scaled to size x size.
tav::TDIB CentreSquare(const tav::TDIB& picture, int size) {
  const int w = picture.Width(), h = picture.Height(), side = std::min(w, h);
  tav::TDIB out;
  out.SetBitCount(24);
  out.SetSize(size, size);
  // The whole picture scaled by size / side, shifted so that its centre
  // square lands on the output; the rest is clipped.
  const int left = -(w - side) / 2 * size / side, top = -(h - side) / 2 * size / side;
  out.DrawScaled({left, top, left + w * size / side, top + h * size / side}, picture);
  return out;
}

int Run(const Options& o) {
  if (o.stream) return Stream(o);
  if (o.compare) {
    tav::RandomGenerator clock;
    clock.Randomize();
    return Compare(o, o.seed ? *o.seed : clock.Seed());
  }
  tav::RandomGenerator random = SeededRandom(o);
  tav::Settings settings = RunSettings(o, random);
  FrameClock clock;
  tav::TDIB result;
  int32_t points = 0;

  if (o.wallpaper == 0 && o.width == 0) {
    tav::PatternGenerator gen(tav::GeneratorShape::FullScreen, settings, random);
    gen.UseReferenceRenderer(o.scalar);
    gen.SetupFullScreen();
    points = gen.PointsPerFrame();
    for (int32_t f = 0; f < o.frames; ++f) {
      if (o.bench) {
        clock.Time([&] { gen.FrameTick(); });
      } else {
        gen.FrameTick();
      }
    }
    result = gen.FieldBitmap();
  } else {
    const tav::WallpaperSize size = WallpaperSizeOf(o);
    settings.Bright = o.wallpaper;
    tav::PatternGenerator gen(tav::GeneratorShape::SettingsWindow, settings, random);
    gen.UseReferenceRenderer(o.scalar);
    gen.SetupSettingsWindow(400, 300);
    for (int32_t f = 0; f < o.frames; ++f) gen.PreviewTick();
    tav::TDIB wallpaper;
    wallpaper.SetBitCount(24);
    wallpaper.SetSize(400, 300);
    clock.Time(
        [&] { points = tav::RenderWallpaperOfSize(gen, size.Width, size.Height, wallpaper); });
    result = wallpaper;
  }

  if (o.icon > 0) result = CentreSquare(result, o.icon);
  if (!o.output.empty()) {
    tav::SaveImageFile(result, o.output,
                       tav::ImageFileTypeOf(o.output).value_or(tav::ImageFileType::Bitmap));
  }
  if (o.bench) clock.Report(points);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  Request request = Request::Run;
  try {
    request = Parse(argc, argv, options);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tavorensia-render: %s. Try --help.\n", e.message.c_str());
    return 2;
  }
  if (request == Request::Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (request == Request::Version) {
    std::printf("tavorensia-render %s\n", tav::ProgramVersion());
    return 0;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
