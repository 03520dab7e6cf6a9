// brimsal: the desktop window. `brimsal [REFERENCE_RAW]`: the start screen, then the main
// window; with a file, the main window chooses it as its reference once shown.
#include <QApplication>
#include <QIcon>

#include "base/QtRuntime.h"
#include "window/frmIntro.h"
#include "window/frmMain.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    brimsal::UseUserNumericLocale();
    QApplication::setApplicationName("Brimsal");
    QApplication::setApplicationVersion("1.1");
    QApplication::setDesktopFileName("brimsal");
    QApplication::setWindowIcon(QIcon(":/brimsal/brimsal.png"));

    brimsal::frmMain window;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        window.ChooseOnShow(arguments.at(1).toStdString());
    }
    auto* intro = new brimsal::frmIntro(&window);
    intro->setAttribute(Qt::WA_DeleteOnClose);
    intro->show();
    return QApplication::exec();
}
