#include "window/LogPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/Progress.h"
#include "window/Controls.h"

namespace brimsal {

namespace {
constexpr const char* kBarFormat = "%p%";  // QProgressBar's own
}  // namespace

LogPanel::LogPanel(QWidget* parent) : QWidget(parent) {
    txtStatus_ = LockedList("txtStatus", "Status", this);
    prgStep_ = Named(new QProgressBar(this), "prgStep", "Progress");
    prgStep_->setRange(0, 100);
    cmdCancel_ = Named(new QPushButton("Cancel", this), "cmdCancel", "Cancel",
                       "Stop the running step (Esc)");
    cmdCancel_->setShortcut(QKeySequence(Qt::Key_Escape));

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(prgStep_, 1);
    progressRow->addWidget(cmdCancel_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Caption("Status", this));
    column->addWidget(txtStatus_, 1);
    column->addLayout(progressRow);
}

void LogPanel::AppendToLog(const QString& line, bool append) {
    if (!append) {
        log_.clear();
    }
    log_ += line + '\n';
    txtStatus_->setPlainText(log_);
    txtStatus_->moveCursor(QTextCursor::End);
}

void LogPanel::ShowProgress(const QString& text) {
    if (const int percent = ProgressPercent(text.toStdString()); percent >= 0) {
        prgStep_->setValue(percent);
        // The bar says what the read-out says (whose "%" is followed by a blank or nothing, so
        // the bar's format reads it as itself).
        prgStep_->setFormat(text);
    }
}

void LogPanel::ShowBusy(bool busy) {
    cmdCancel_->setEnabled(busy);
    // Idle: no value and no text, whatever the last step showed.
    prgStep_->reset();
    prgStep_->setFormat(kBarFormat);
}

}  // namespace brimsal
