// The log of the main window: txtStatus, the lines the steps write (each step's log replaces or
// extends it), the progress bar prgStep that follows a step's read-out ("NN%" and the step's
// words, base/Progress.h), idle between steps, and Cancel (Esc), live only while a step runs. The
// window connects Cancel to its step runner.
#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace brimsal {

class LogPanel : public QWidget {
    Q_OBJECT

  public:
    explicit LogPanel(QWidget* parent = nullptr);

    // Appends `line` to the log, or starts a new log with it when `append` is false.
    void AppendToLog(const QString& line, bool append);
    // A step's progress read-out: "NN%" moves the bar, which shows the whole read-out; a text
    // without a percentage leaves it.
    void ShowProgress(const QString& text);
    // While a step runs Cancel is live; the bar is idle (empty, no text) at either end.
    void ShowBusy(bool busy);

    QPushButton* cmdCancel() const { return cmdCancel_; }

  private:
    QPlainTextEdit* txtStatus_ = nullptr;
    QProgressBar* prgStep_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QString log_;
};

}  // namespace brimsal
