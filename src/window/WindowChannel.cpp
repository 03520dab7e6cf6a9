#include "window/WindowChannel.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "window/Controls.h"

namespace brimsal {

BoxPresenter MessageBoxPresenter(QObject* parent_widget) {
    return [parent_widget](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                        qobject_cast<QWidget*>(parent_widget));
        box.exec();
    };
}

WindowChannel::WindowChannel(BoxPresenter presenter, QObject* parent)
    : QObject(parent), presenter_(std::move(presenter)) {}

WindowChannel::~WindowChannel() {
    Abandon();
}

void WindowChannel::AnadirLog(const std::string& line, bool append) {
    emit logLine(QText(line), append);
}

void WindowChannel::MostrarLineaDCRAW(const std::string& line) {
    emit dcrawLine(QText(line));
}

void WindowChannel::MensajeAviso(const std::string& text) {
    Box(QStringLiteral("WARNING"), text);
}

void WindowChannel::MensajeError(const std::string& text) {
    Box(QStringLiteral("ERROR"), text);
}

void WindowChannel::MessageBrimsal(const std::string& text) {
    Box(QStringLiteral("Brimsal"), text);
}

void WindowChannel::ShowProgress(const std::string& text) {
    emit progress(QText(text));
}

void WindowChannel::Beep() {
    emit beep();
}

void WindowChannel::Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    box_closed_.notify_all();
}

void WindowChannel::Box(const QString& title, const std::string& text) {
    if (QThread::currentThread() == thread()) {
        presenter_(title, QText(text));
        return;
    }
    // A worker: the box is shown by the window's thread, after every log line sent before it;
    // the worker waits for its dismissal so the step goes on only once the user has read it.
    std::unique_lock lock(mutex_);
    if (abandoned_) {
        return;
    }
    const quint64 ticket = ++boxes_asked_;
    QMetaObject::invokeMethod(
        this, [this, title, shown = QText(text), ticket] { ShowBox(title, shown, ticket); },
        Qt::QueuedConnection);
    box_closed_.wait(lock, [&] { return abandoned_ || boxes_closed_ >= ticket; });
}

void WindowChannel::ShowBox(const QString& title, const QString& text, quint64 ticket) {
    {
        std::lock_guard lock(mutex_);
        if (abandoned_) {
            return;
        }
    }
    presenter_(title, text);
    std::lock_guard lock(mutex_);
    boxes_closed_ = ticket;
    box_closed_.notify_all();
}

}  // namespace brimsal
