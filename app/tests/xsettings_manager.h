#pragma once
// A desktop settings manager (XSETTINGS) on a private display, as a desktop
// runs one: it owns the screen's settings selection and publishes the GTK
// theme's name there. No X header here: Xlib's macros would clash with the
// test framework's names.
#include <memory>
#include <string>

namespace ax::test {

class XSettingsManager {
public:
    // Connects to the display and takes the selection; Running() tells.
    explicit XSettingsManager(const std::string& display);
    ~XSettingsManager();
    XSettingsManager(const XSettingsManager&) = delete;
    XSettingsManager& operator=(const XSettingsManager&) = delete;
    bool Running() const;
    // Publishes "Net/ThemeName" and returns once the server has it.
    void SetThemeName(const std::string& name);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ax::test
