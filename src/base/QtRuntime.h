// The Qt machinery the core needs for text on pictures and for child processes. brimsal-cli and
// the test programs create one QtRuntime at the start of main; it chooses the offscreen platform
// unless the user set QT_QPA_PLATFORM, so no display is ever needed. The window does not use it.
#pragma once

#include <memory>

namespace brimsal {

// Once an application object exists (QtRuntime's, or a window program's QApplication): the C
// library's locale back to "C" except for LC_NUMERIC, which follows the user, so numbers shown
// to the user take the user's decimal separator and nothing else changes behaviour with it.
void UseUserNumericLocale();

class QtRuntime {
  public:
    QtRuntime(int& argc, char** argv);
    ~QtRuntime();
    QtRuntime(const QtRuntime&) = delete;
    QtRuntime& operator=(const QtRuntime&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brimsal
