// brimsal-screenshot REFERENCE_RAW OUT.png: opens the main window, chooses the reference, runs
// Develop, Calc EV, Build map and Colour through the window's buttons, and saves a picture of
// the window once the blend has ended. Used by scripts/screenshot.sh under Xvfb for the README.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "base/QtRuntime.h"
#include "window/frmMain.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    brimsal::UseUserNumericLocale();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: brimsal-screenshot REFERENCE_RAW OUT.png\n");
        return 2;
    }
    const QString output = arguments.at(2);

    brimsal::frmMain window;
    // Boxes would wait for a person: their texts go to stderr instead.
    window.SetBoxPresenter([](const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    });
    // The window takes the size it opens at on the screen it is shown on.
    window.ChooseOnShow(arguments.at(1).toStdString());

    // Each step's end presses the next button; after the blend the window is saved.
    const std::vector<const char*> buttons = {"cmdDevelop", "cmdEV", "cmdBuildMap", "cmdBlend"};
    size_t next = 0;
    int exit_code = 0;
    QObject::connect(&window.Runner(), &brimsal::StepRunner::finished, &window, [&] {
        if (next == buttons.size()) {
            exit_code = window.grab().save(output) ? 0 : 1;
            QApplication::quit();
            return;
        }
        auto* button = window.findChild<QPushButton*>(buttons[next++]);
        if (!button->isEnabled()) {
            std::fprintf(stderr, "brimsal-screenshot: %s is not enabled\n",
                         button->objectName().toUtf8().constData());
            exit_code = 1;
            QApplication::quit();
            return;
        }
        button->click();
    });
    window.show();
    QApplication::exec();
    return exit_code;
}
