#include "tests/e2e/ui_window/repaint_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSize = 8;
constexpr unsigned long kCover = 0xFF00FF;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

template <class F>
bool PollUntil(F&& done, long timeoutMs)
{
    const auto start = Clock::now();
    while (!done()) {
        if (MsSince(start) > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

struct RepaintProbe::X {
    Display* display = nullptr;
    Window root = 0;
    int x = 0, y = 0;

    unsigned long Pixel() const
    {
        XImage* image = XGetImage(display, root, x + kSize / 2, y + kSize / 2, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return pixel;
    }
};

RepaintProbe::RepaintProbe() : x_(new X) {}

RepaintProbe::~RepaintProbe()
{
    Stop();
    if (x_->display)
        XCloseDisplay(x_->display);
}

bool RepaintProbe::Open(const std::string& toolXid, int x, int y)
{
    x_->display = XOpenDisplay(nullptr);
    if (!x_->display)
        return false;
    x_->root = DefaultRootWindow(x_->display);
    Window child = 0;
    const Window tool = static_cast<Window>(std::strtoul(toolXid.c_str(), nullptr, 0));
    return XTranslateCoordinates(x_->display, tool, x_->root, x, y, &x_->x, &x_->y, &child) != 0;
}

void RepaintProbe::Start()
{
    thread_ = std::thread([this] { Run(); });
}

void RepaintProbe::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

std::vector<long> RepaintProbe::Latencies() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return latencies_;
}

void RepaintProbe::Run()
{
    while (!stop_) {
        const unsigned long tool = x_->Pixel();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = tool == kCover ? 0x00FF00 : kCover;
        const unsigned long cover = attributes.background_pixel;
        Window w = XCreateWindow(x_->display, x_->root, x_->x, x_->y, kSize, kSize, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(x_->display, w);
        XSync(x_->display, False);
        PollUntil([&] { return x_->Pixel() == cover; }, 1000);
        XDestroyWindow(x_->display, w);
        XSync(x_->display, False);
        const auto taken = Clock::now();
        PollUntil([&] { return x_->Pixel() == tool; }, 60000);
        {
            std::lock_guard<std::mutex> hold(lock_);
            latencies_.push_back(MsSince(taken));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
