#pragma once
// The lock holder's drawing child (tavorensia-lock, lock/lock_protocol.hpp):
//   tavorensia --lock-draw --heartbeat-fd FD [SAVER-OPTIONS...] --windows ID,ID,...
// The animation with the stored settings (the options override them) in the
// first of the holder's windows, a heartbeat byte on FD twice a second.
// Ends when a window goes away or on SIGTERM.
namespace tav {

int RunLockDraw(int argc, char** argv);

}  // namespace tav
