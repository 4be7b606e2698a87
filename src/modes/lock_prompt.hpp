#pragma once
// The lock holder's password child (tavorensia-lock, lock/lock_protocol.hpp):
//   tavorensia --lock-prompt --window ID --failures N
// The password dialog in a child of the holder's window ID. The holder has
// the keyboard and sends each key press on stdin; the answers go to fd 3.
// Exits 0 once the right password was given, non-zero otherwise.
namespace tav {

int RunLockPrompt(int argc, char** argv);

}  // namespace tav
