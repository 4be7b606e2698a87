#pragma once
// "/s" with a password on X11: the process becomes the lock holder
// (tavorensia-lock, installed beside us in libexec), which keeps the grabs
// and the cover and runs this program again, as its children, for the
// picture and the password prompt. Our process id stays the same, so
// xss-lock and session managers go on waiting on the lock.

namespace tav {

// Whether this "/s" is a lock the holder must keep: password protection is
// set and the desktop is X11 (on Wayland the full-screen mode says it cannot
// lock).
bool LockHolderWanted();

// Replaces this process with the lock holder, passing argv's options on to
// its drawing child. Returns only when that failed, with the message said on
// stderr; the caller then must not look locked.
int ExecLockHolder(int argc, char** argv);

}  // namespace tav
