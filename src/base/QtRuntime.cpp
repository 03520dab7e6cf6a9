#include "base/QtRuntime.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <clocale>
#include <cstdlib>
#include <string>

namespace brimsal {

struct QtRuntime::Impl {
    std::unique_ptr<QGuiApplication> application;
};

void UseUserNumericLocale() {
    // Qt takes the user's locale for everything; numbers in logs follow the user's
    // LC_NUMERIC, but nothing else of the C library may change behaviour with it.
    std::setlocale(LC_ALL, "C");
    const char* numeric = std::setlocale(LC_NUMERIC, "");
    if (numeric == nullptr) {
        std::setlocale(LC_NUMERIC, "C");
    }
}

QtRuntime::QtRuntime(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    // Nothing here is shown on a screen, so no display is needed: a DISPLAY or WAYLAND_DISPLAY
    // left from a closed session (ssh, cron, tmux) would otherwise abort the program. A platform
    // the user chose still wins (the clipboard needs a real one).
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || *platform == '\0') {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    if (runtime_dir == nullptr || *runtime_dir == '\0') {
        // Qt wants a private runtime folder; give it one instead of a warning on every start.
        const std::string dir = "/tmp/brimsal-runtime-" + std::to_string(::getuid());
        ::mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    impl_->application = std::make_unique<QGuiApplication>(argc, argv);
    UseUserNumericLocale();
}

QtRuntime::~QtRuntime() = default;

}  // namespace brimsal
