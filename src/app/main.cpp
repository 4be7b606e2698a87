#include "app/command_line.hpp"
#include "app/modes.hpp"

int main(int argc, char** argv) {
  const auto letter = tav::ModeLetter(argc, argv);
  if (letter == U'C') return tav::RunSettingsWindow(argc, argv);
  if (letter == U'P') return tav::RunPreview(argc, argv);
  if (letter == U'A') return tav::RunChangePassword(argc, argv);
  return tav::RunFullScreen(argc, argv);
}
