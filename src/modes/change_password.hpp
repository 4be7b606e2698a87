#pragma once
// The password-change mode ("/a ID"): the dialog in a small window of its own.

namespace tav {

// Returns the exit status once the dialog has closed.
int RunChangePassword(int argc, char** argv);

}  // namespace tav
