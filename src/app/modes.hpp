#pragma once
// The four modes the entry can start. Each returns the process's exit status.

namespace tav {

inline constexpr const char* kApplicationTitle = "Tavorensia Screensaver";

int RunFullScreen(int argc, char** argv);      // "/s" and any other switch
int RunSettingsWindow(int argc, char** argv);  // "/c"
int RunPreview(int argc, char** argv);         // "/p ID"
int RunChangePassword(int argc, char** argv);  // "/a ID"

}  // namespace tav
