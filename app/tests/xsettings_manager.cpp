// The settings property: little-endian, one string setting.
#include "xsettings_manager.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace ax::test {

struct XSettingsManager::Impl {
    Display* dpy = nullptr;
    Window window = 0;
    Atom settings = 0;
    int serial = 0;
};

XSettingsManager::XSettingsManager(const std::string& display) : impl_(std::make_unique<Impl>()) {
    impl_->dpy = XOpenDisplay(display.c_str());
    if (!impl_->dpy) return;
    Display* d = impl_->dpy;
    impl_->window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    char selection[32];
    std::snprintf(selection, sizeof selection, "_XSETTINGS_S%d", DefaultScreen(d));
    impl_->settings = XInternAtom(d, "_XSETTINGS_SETTINGS", False);
    XSetSelectionOwner(d, XInternAtom(d, selection, False), impl_->window, CurrentTime);
    XSync(d, False);
}

XSettingsManager::~XSettingsManager() {
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
}

bool XSettingsManager::Running() const { return impl_->dpy != nullptr; }

void XSettingsManager::SetThemeName(const std::string& name) {
    if (!impl_->dpy) return;
    std::vector<std::uint8_t> b = {0, 0, 0, 0, std::uint8_t(++impl_->serial), 0, 0, 0, 1, 0, 0, 0};
    const std::string key = "Net/ThemeName";
    for (int c : {1, 0, int(key.size()), 0}) b.push_back(std::uint8_t(c));
    b.insert(b.end(), key.begin(), key.end());
    while (b.size() % 4) b.push_back(0);
    for (int c : {impl_->serial, 0, 0, 0, int(name.size()), 0, 0, 0}) b.push_back(std::uint8_t(c));
    b.insert(b.end(), name.begin(), name.end());
    while (b.size() % 4) b.push_back(0);
    XChangeProperty(impl_->dpy, impl_->window, impl_->settings, impl_->settings, 8, PropModeReplace, b.data(),
                    int(b.size()));
    XSync(impl_->dpy, False);
}

} // namespace ax::test
