#include "window/StepRunner.h"

#include <exception>

namespace brimsal {

StepRunner::StepRunner(WindowChannel& channel, QObject* parent)
    : QObject(parent), channel_(channel) {}

void StepRunner::CancelAndWait() {
    if (worker_ != nullptr) {
        channel_.Cancel();
        channel_.Abandon();
        worker_->wait();
        delete worker_;
        worker_ = nullptr;
        done_ = {};
    }
}

bool StepRunner::Run(const std::string& module, std::function<void(UserChannel&)> work,
                     std::function<void()> done) {
    if (worker_ != nullptr) {
        return false;
    }
    channel_.Resume();
    done_ = std::move(done);
    worker_ = QThread::create([this, module, work = std::move(work)] {
        try {
            work(channel_);
        } catch (const Cancelled&) {
            channel_.AnadirLog("Cancelled", true);
        } catch (const std::exception& unexpected) {
            ErrorInesperado(channel_, module, unexpected);
        }
    });
    const quint64 step = ++steps_started_;
    connect(
        worker_, &QThread::finished, this, [this, step] { Finish(step); }, Qt::QueuedConnection);
    emit started();
    worker_->start();
    return true;
}

void StepRunner::Finish(quint64 step) {
    if (worker_ == nullptr || step != steps_started_) {  // ended by CancelAndWait
        return;
    }
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    const auto done = std::move(done_);
    done_ = {};
    if (done) {
        done();
    }
    if (worker_ == nullptr) {  // `done` may have started the next step of a chain
        emit finished();
    }
}

}  // namespace brimsal
