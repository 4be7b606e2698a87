// The settings window's two costly handlers: one preview frame (the frame
// tick) and "Render Wallpaper", at several Detailed values. The hive lives in
// a temporary folder of its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "settings/registry.hpp"
#include "display/timer.hpp"
#include "modes/settings_form.hpp"
#include "generator/generator.hpp"

namespace {

namespace fs = std::filesystem;

class Host final : public tav::IdleHost {
 public:
  void SetIdleHandler(tav::IdleHandler* h) override { h_ = h; }
  tav::IdleHandler* CurrentIdleHandler() const override { return h_; }
  bool Active() const override { return true; }
  void AddActivationListener(tav::ActivationListener*) override {}
  void RemoveActivationListener(tav::ActivationListener*) override {}

 private:
  tav::IdleHandler* h_ = nullptr;
};

struct Config {
  fs::path dir;
  Config(int bright, int satiation) {
    std::string tmpl = (fs::temp_directory_path() / "tav-bench-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    tav::Registry r;
    r.OpenKey("\\Software\\Tavorensia\\", true);
    const std::pair<const char*, int> values[] = {{"Fast", 40}, {"Bright", bright}, {"Satiation", satiation},
                                                  {"Picture", 30}, {"Blur", 20},   {"Color", 1}, {"Rands", 0}};
    for (const auto& [name, v] : values) r.WriteInteger(name, v);
    r.WriteString("Path_Wall", dir.string());
  }
  ~Config() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void BM_PreviewFrame(benchmark::State& state) {
  Config config(1, static_cast<int>(state.range(0)));
  Host host;
  tav::TForm2 form(host, nullptr);
  form.FormCreate(1024, 24);
  for (auto _ : state) form.DXTimerTimer();
  state.counters["field_px"] = form.Generator().FieldWidth() * form.Generator().FieldHeight();
}
BENCHMARK(BM_PreviewFrame)->Arg(0)->Arg(59)->Arg(60)->Arg(89)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_RenderWallpaper(benchmark::State& state) {
  Config config(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  Host host;
  tav::TForm2 form(host, nullptr);
  form.FormCreate(1024, 24);
  form.DXTimerTimer();
  for (auto _ : state) {
    form.Button2Click();
    state.PauseTiming();
    form.Dialogs().back()->CancelBtnClick();
    form.DXTimerTimer();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RenderWallpaper)->Args({6, 100})->Args({6, 75})->Args({6, 50})->Args({1, 100})
    ->Unit(benchmark::kMillisecond);

}  // namespace
