#include "modes/preview_window.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/application.hpp"
#include "settings/command_line.hpp"
#include "display/x11_handles.hpp"
#include "display/dib.hpp"
#include "generator/random.hpp"
#include "modes/password_prompt.hpp"
#include "desktop/password.hpp"
#include "generator/preview_renderer.hpp"

namespace tav {
namespace {

constexpr int kPopupWidth = 320;
constexpr int kPopupHeight = 240;
constexpr auto kRepaintInterval = std::chrono::milliseconds(40);
constexpr const char* kWindowName = "Tavorensi";
constexpr const char* kQuitAtomName = "_TAVORENSIA_PREVIEW_QUIT";

// A host can destroy its window, and ours with it, at any moment: X errors
// are expected throughout, and each thread keeps a trap set for as long as
// it talks to the server (each thread reads only its own connection, so an
// error reaches the thread whose request failed). The steps that must
// succeed set traps of their own inside it and ask them.

// What the window and the worker share. The window id is written before the
// worker starts, the size once by the worker, the stop flag by the key
// handling; each is read without a lock.
struct PreviewShared {
  std::atomic<Window> window{0};
  std::atomic<int32_t> width{0};
  std::atomic<int32_t> height{0};
  std::atomic<bool> stop{false};

  // Set when the window has gone: wakes a sleeping worker at once so the
  // process need not wait for its sleep to end.
  std::mutex mutex;
  std::condition_variable wake;
  bool ending = false;

  // Sleeps one interval; false when the preview is ending.
  bool Sleep() {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, kRepaintInterval, [this] { return ending; });
  }
  void End() {
    {
      std::lock_guard lock(mutex);
      ending = true;
    }
    wake.notify_all();
  }
  bool Ending() {
    std::lock_guard lock(mutex);
    return ending;
  }
};

// The worker asks for a repaint every interval on its own connection until
// the stop flag is set, then tells the window's loop to end. The connection
// closes when the worker ends.
void PreviewWorker(XDisplayPtr connection, PreviewShared& shared, Atom quit) {
  Display* const dpy = connection.get();
  const XErrorTrap expected(dpy);  // waits for the server to be done as the worker ends
  const Window window = shared.window.load();
  XWindowAttributes attrs;
  if (XGetWindowAttributes(dpy, window, &attrs)) {
    shared.width.store(attrs.width + 2 * attrs.border_width);
    shared.height.store(attrs.height + 2 * attrs.border_width);
  }
  XMapWindow(dpy, window);
  do {
    // The window has no background, so clearing it erases nothing and only
    // brings an Expose.
    XClearArea(dpy, window, 0, 0, 0, 0, True);
    XFlush(dpy);
    if (!shared.Sleep()) break;
  } while (!shared.stop.load());

  if (!shared.Ending()) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = quit;
    ev.xclient.format = 32;
    // No event mask: the event goes to the client that created the window.
    XSendEvent(dpy, window, False, NoEventMask, &ev);
  }
}

// A TrueColor visual for the window: the parent's when it is one, else the
// screen's 24-bit one with a colormap of our own, which own then holds.
struct VisualChoice {
  Visual* visual = nullptr;
  int depth = 0;
  Colormap colormap = None;  // the window's: the parent's or own's
};

bool ChooseVisual(Display* dpy, const XWindowAttributes& parent, VisualChoice& out, XColormapHandle& own) {
  const int screen = XScreenNumberOfScreen(parent.screen);
  const Window root = RootWindow(dpy, screen);
  if (parent.visual && parent.visual->c_class == TrueColor) {
    out.visual = parent.visual;
    out.depth = parent.depth;
    out.colormap = parent.colormap;
    if (out.colormap == None) {
      own = XColormapHandle(dpy, XCreateColormap(dpy, root, out.visual, AllocNone));
      out.colormap = own.get();
    }
    return true;
  }
  XVisualInfo info;
  if (!XMatchVisualInfo(dpy, screen, 24, TrueColor, &info)) return false;
  out.visual = info.visual;
  out.depth = info.depth;
  own = XColormapHandle(dpy, XCreateColormap(dpy, root, out.visual, AllocNone));
  out.colormap = own.get();
  return true;
}

// Turns the renderer's 24-bit bitmap into an image of the window's visual.
class ImageConverter {
 public:
  ImageConverter(Display* dpy, Visual* visual, int depth)
      : dpy_(dpy), visual_(visual), depth_(depth) {
    Fill(red_, visual->red_mask);
    Fill(green_, visual->green_mask);
    Fill(blue_, visual->blue_mask);
  }
  ImageConverter(const ImageConverter&) = delete;
  ImageConverter& operator=(const ImageConverter&) = delete;

  // The image holding bitmap, or null when no memory could be had.
  XImage* Convert(const TDIB& bitmap) {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (!image_ || image_->width != w || image_->height != h) {
      image_.reset(XCreateImage(dpy_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0));
      if (!image_) return nullptr;
      // The image's own from here on: XDestroyImage frees it.
      image_->data = static_cast<char*>(
          std::malloc(static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(h)));
      if (!image_->data) {
        image_.reset();
        return nullptr;
      }
    }
    const int nativeOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    const bool direct32 = image_->bits_per_pixel == 32 && image_->byte_order == nativeOrder;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = bitmap.ScanLineRead(y);
      char* dst = image_->data + static_cast<std::ptrdiff_t>(y) * image_->bytes_per_line;
      for (int x = 0; x < w; ++x, src += 3) {
        const unsigned long pixel = blue_[src[0]] | green_[src[1]] | red_[src[2]];
        if (direct32) {
          const auto p = static_cast<uint32_t>(pixel);
          std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * 4, &p, 4);
        } else {
          XPutPixel(image_.get(), x, y, pixel);
        }
      }
    }
    return image_.get();
  }

 private:
  // Spreads 0..255 over the bits of the channel's mask.
  static void Fill(std::array<unsigned long, 256>& table, unsigned long mask) {
    if (mask == 0) {
      table.fill(0);
      return;
    }
    const int shift = std::countr_zero(mask);
    const unsigned long top = mask >> shift;
    for (unsigned v = 0; v < 256; ++v) table[v] = ((v * top + 127) / 255) << shift;
  }
  Display* dpy_;     // the window's connection, which outlives the converter
  Visual* visual_;
  int depth_;
  XImagePtr image_;
  std::array<unsigned long, 256> red_{}, green_{}, blue_{};
};

class PreviewWindow {
 public:
  PreviewWindow(XDisplayPtr dpy, std::function<bool()> verifyPassword)
      : dpy_(std::move(dpy)), expected_(dpy_.get()), verifyPassword_(std::move(verifyPassword)), renderer_(random_) {}

  int PreviewRun(Window parent) {
    XWindowAttributes parentAttrs;
    bool popup = true;
    {
      XErrorTrap measured(dpy());
      if (parent != 0 && XGetWindowAttributes(dpy(), parent, &parentAttrs) && !measured.Caught()) popup = false;
    }
    int width = kPopupWidth, height = kPopupHeight;
    VisualChoice visual;
    {
      // The host may have destroyed its window since we measured it: a
      // failure up to our window's showing ends the preview.
      XErrorTrap setUp(dpy());
      if (popup) {
        parent = DefaultRootWindow(dpy());
        if (!XGetWindowAttributes(dpy(), parent, &parentAttrs)) return 1;
      } else {
        width = parentAttrs.width + 2 * parentAttrs.border_width;
        height = parentAttrs.height + 2 * parentAttrs.border_width;
      }

      // A new run draws its drifting state afresh.
      random_.Randomize();
      renderer_.Restart();

      if (!ChooseVisual(dpy(), parentAttrs, visual, colormap_)) return 1;
      Show(parent, width, height, popup, visual);
      if (setUp.Caught()) return 0;
    }
    return Run(popup, visual);
  }

 private:
  void Show(Window parent, int width, int height, bool popup, const VisualChoice& visual) {
    XSetWindowAttributes attrs{};
    // No background: a repaint request erases nothing, so the picture never flickers.
    attrs.background_pixmap = None;
    attrs.border_pixel = 0;
    attrs.colormap = visual.colormap;
    // A child takes no keyboard or mouse input: those go on to the host's window.
    attrs.event_mask = ExposureMask | StructureNotifyMask | (popup ? KeyPressMask : 0);
    attrs.override_redirect = popup ? True : False;
    window_ = XWindowHandle(dpy(), XCreateWindow(dpy(), parent, 0, 0, static_cast<unsigned>(width),
                                                 static_cast<unsigned>(height), 0, visual.depth, InputOutput,
                                                 visual.visual,
                                                 CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask |
                                                     CWOverrideRedirect,
                                                 &attrs));
    const Window window = window_.get();
    XStoreName(dpy(), window, kWindowName);
    if (popup) {
      XMapRaised(dpy(), window);  // on top of everything, where it was put
    } else {
      XMapWindow(dpy(), window);
    }
  }

  int Run(bool popup, const VisualChoice& visual) {
    const Window window = window_.get();
    gc_ = XGCHandle(dpy(), XCreateGC(dpy(), window, 0, nullptr));
    ImageConverter converter(dpy(), visual.visual, visual.depth);
    const Atom quit = XInternAtom(dpy(), kQuitAtomName, False);

    // The worker talks to the server on a connection of its own.
    XDisplayPtr workerDpy(XOpenDisplay(DisplayString(dpy())));
    if (!workerDpy) return 1;
    shared_.window.store(window);
    std::thread worker(PreviewWorker, std::move(workerDpy), std::ref(shared_), quit);

    const bool destroyed = MessageLoop(popup, quit, converter);

    shared_.End();
    worker.join();
    // Gone with the host's window: nothing left to destroy.
    if (destroyed) window_.release();
    return 0;
  }

  // Handles the window's events until the worker says the preview is over
  // (false) or the window was destroyed with its parent (true).
  bool MessageLoop(bool popup, Atom quit, ImageConverter& converter) {
    XEvent ev;
    for (;;) {
      XNextEvent(dpy(), &ev);
      switch (ev.type) {
        case Expose:
          if (ev.xexpose.window == window_.get() && ev.xexpose.count == 0) {
            // Requests that piled up while we were busy make one step, not several.
            while (XCheckTypedWindowEvent(dpy(), window_.get(), Expose, &ev)) {
            }
            PreviewPaint(converter);
          }
          break;
        case MapNotify:
          // Nothing gives an override-redirect window the focus but itself.
          if (popup && ev.xmap.window == window_.get()) {
            XSetInputFocus(dpy(), window_.get(), RevertToPointerRoot, CurrentTime);
          }
          break;
        case KeyPress:
          if (popup) {
            shared_.stop.store(verifyPassword_());
            // A password dialog brings SDL, which puts in its own handler.
            InstallXErrorHandler();
            if (!shared_.stop.load()) XSetInputFocus(dpy(), window_.get(), RevertToPointerRoot, CurrentTime);
          }
          break;
        case DestroyNotify:
          if (ev.xdestroywindow.window == window_.get()) return true;
          break;
        case ClientMessage:
          if (ev.xclient.window == window_.get() && ev.xclient.message_type == quit) return false;
          break;
        default:
          break;
      }
    }
  }

  void PreviewPaint(ImageConverter& converter) {
    // Before the worker measured the window this is a 0 x 0 step: nothing to draw.
    const int32_t width = shared_.width.load();
    const int32_t height = shared_.height.load();
    renderer_.PreviewPaint(width, height, bitmap_);
    if (bitmap_.Empty()) return;
    XImage* image = converter.Convert(bitmap_);
    if (!image) return;
    // If the host destroyed its window meanwhile, the error is caught and
    // the DestroyNotify that follows ends the loop.
    XPutImage(dpy(), window_.get(), gc_.get(), image, 0, 0, 0, 0, static_cast<unsigned>(image->width),
              static_cast<unsigned>(image->height));
    XFlush(dpy());
  }

  Display* dpy() const { return dpy_.get(); }

  // Destroyed bottom up: the graphics context, the window, then the colormap
  // it used; the trap waits for the server to have freed them, and the
  // connection they were made on closes last.
  XDisplayPtr dpy_;
  XErrorTrap expected_;  // every error of this thread while the preview lives
  std::function<bool()> verifyPassword_;
  RandomGenerator random_;
  PreviewRenderer renderer_;
  TDIB bitmap_;
  PreviewShared shared_;
  XColormapHandle colormap_;  // ours only when the visual needed one
  XWindowHandle window_;
  XGCHandle gc_;
};

// The pop-up's password check. The dialog needs SDL, which is started only
// once a password is actually set; the verifier then lives as long as the
// preview, so that its growing delay after wrong answers holds.
class PreviewPasswordCheck {
 public:
  bool operator()() {
    if (!PasswordProtectionSet()) return true;
    try {
      if (!verifier_) {
        // SDL would turn SIGTERM into a quit event that only the dialog
        // reads; the preview must stay as easy to end as before.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        app_.emplace(kApplicationTitle, Windowing::X11);  // beside the X11 preview
        verifier_.emplace(prompt_, [this](bool show) { app_->ShowCursor(show); });
      }
      return verifier_->VerifyPassword();
    } catch (const std::exception&) {
      // No dialog can be shown: like a missing host service, it lets the preview end.
      return true;
    }
  }

 private:
  std::optional<Application> app_;
  SdlPasswordPrompt prompt_;
  std::optional<PasswordVerifier> verifier_;
};

}  // namespace

int PreviewRun(unsigned long parent, const std::function<bool()>& verifyPassword) {
  // Two threads use Xlib, each with its own connection.
  XInitThreads();
  XDisplayPtr dpy(XOpenDisplay(nullptr));
  if (!dpy) {
    // The host's window id is an X11 id: nothing else can stand in.
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && wayland && *wayland)
      std::fprintf(stderr, "tavorensia: cannot open display (the preview draws into an X11 window, "
                           "and this Wayland session has no X11 display: DISPLAY is not set)\n");
    else
      std::fprintf(stderr, "tavorensia: cannot open display (%s)\n", XDisplayName(nullptr));
    return 1;
  }
  InstallXErrorHandler();
  PreviewWindow preview(std::move(dpy), verifyPassword);
  return preview.PreviewRun(parent);
}

int RunPreview(int argc, char** argv) {
  PreviewPasswordCheck check;
  return PreviewRun(WindowHandleArgument(argc, argv), [&check] { return check(); });
}

}  // namespace tav
