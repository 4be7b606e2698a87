// The compositor harness itself: sway comes up with the outputs asked for,
// screenshots have their sizes, an X client reaches the screen through the
// Xwayland, an output can be added, and nothing of it outlives the object.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "compositor.hpp"

namespace {

using namespace std::chrono_literals;

// Whether an X server still answers on the socket. The file itself can stay
// behind an Xwayland that was killed rather than asked to end.
bool Listening(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  const bool up = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return up;
}

TEST(Compositor, OutputsScreenshotsXwaylandAndTeardown) {
  if (const auto why = tavtest::Sway::Unavailable()) GTEST_SKIP() << *why;
  std::string xSocket;
  {
    tavtest::Sway sway({{640, 480, 0, 0}, {800, 600, 640, 0}});
    ASSERT_TRUE(sway.Ok()) << sway.Log();
    EXPECT_EQ(sway.OutputNames(), (std::vector<std::string>{"HEADLESS-1", "HEADLESS-2"}));
    EXPECT_EQ(sway.Query("get_outputs", ".[] | \"\\(.rect.x),\\(.rect.width)\""), "0,640\n640,800");

    const auto empty = sway.Grab("HEADLESS-1");
    const auto second = sway.Grab("HEADLESS-2");
    ASSERT_TRUE(empty && second);
    EXPECT_EQ(std::make_pair(empty->width, empty->height), std::make_pair(640, 480));
    EXPECT_EQ(std::make_pair(second->width, second->height), std::make_pair(800, 600));

    const std::string x = sway.XDisplay();
    ASSERT_EQ(x.rfind(':', 0), 0u) << "DISPLAY '" << x << "'";
    xSocket = "/tmp/.X11-unix/X" + x.substr(1);
    EXPECT_TRUE(tavtest::WaitUntil([&] { return Listening(xSocket); }, 10s)) << xSocket;
    // An X client is a view of the xwayland shell, tiled over the focused output.
    auto logo = sway.Start({"xlogo", "-bg", "white"}, true);
    EXPECT_TRUE(tavtest::WaitUntil(
        [&] {
          return sway.Query("get_tree", "[.. | select(.shell? == \"xwayland\")] | length") == "1";
        },
        15s, 100ms))
        << logo->Output() << sway.Log();
    std::optional<tavtest::Shot> drawn;
    EXPECT_TRUE(tavtest::WaitUntil(
        [&] {
          drawn = sway.Grab("HEADLESS-1");
          return drawn && drawn->DifferentShare(*empty) > 0.5;
        },
        10s, 100ms));
    EXPECT_EQ(sway.Type({"-k", "space"}), 0);

    ASSERT_TRUE(sway.Ipc("command", "create_output"));
    EXPECT_EQ(sway.OutputNames().size(), 3u);
  }
  // sway's Xwayland ended with it.
  EXPECT_TRUE(tavtest::WaitUntil([&] { return !Listening(xSocket); }, 5s)) << xSocket;
}

}  // namespace
