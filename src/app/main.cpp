#include "app/command_line.hpp"
#include "app/modes.hpp"

int main(int argc, char** argv) {
  switch (tav::ModeFor(tav::ModeLetter(argc, argv))) {
    case tav::Mode::Settings: return tav::RunSettingsWindow(argc, argv);
    case tav::Mode::Preview: return tav::RunPreview(argc, argv);
    case tav::Mode::ChangePassword: return tav::RunChangePassword(argc, argv);
    case tav::Mode::FullScreen: break;
  }
  return tav::RunFullScreen(argc, argv);
}
