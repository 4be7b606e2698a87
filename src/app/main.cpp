#include <cstdio>
#include <exception>

#include "app/application.hpp"
#include "app/command_line.hpp"
#include "app/modes.hpp"

namespace {

int RunMode(int argc, char** argv) {
  switch (tav::ModeFor(tav::ModeLetter(argc, argv))) {
    case tav::Mode::Settings: return tav::RunSettingsWindow(argc, argv);
    case tav::Mode::Preview: return tav::RunPreview(argc, argv);
    case tav::Mode::ChangePassword: return tav::RunChangePassword(argc, argv);
    case tav::Mode::FullScreen: break;
  }
  return tav::RunFullScreen(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // What escapes a mode happened before it had a window to show it in.
  try {
    return RunMode(argc, argv);
  } catch (const tav::ENoDisplay& e) {
    std::fprintf(stderr, "tavorensia: cannot open display (%s)\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavorensia: %s\n", e.what());
  }
  return 1;
}
