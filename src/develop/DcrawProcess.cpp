#include "develop/DcrawProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/Progress.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

// dcraw's messages can run long with user options; only the end of them is ever shown.
constexpr size_t kMessageTail = 4096;
// How long a killed process may take to be reaped.
constexpr int kDeathWaitMs = 5000;
// How often a waiting run looks at the cancel flag.
constexpr int kCancelPollMs = 50;

std::string LastLine(const std::string& text) {
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) {
        return "";
    }
    const size_t begin = text.find_last_of("\r\n", end);
    const size_t from = begin == std::string::npos ? 0 : begin + 1;
    return text.substr(from, end - from + 1);
}

void Remove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

std::string DevelopProgressText(size_t developed, size_t running, size_t n) {
    return ProgressText(static_cast<int>(developed * 100 / n),
                        std::to_string(developed) + " of " + std::to_string(n) + " developed, " +
                            std::to_string(running) + " running");
}

}  // namespace

std::string DcrawResult::Reason() const {
    switch (end) {
        case DcrawEnd::kDone:
            return "";
        case DcrawEnd::kNotStarted:
            return "dcraw could not be started" + (detail.empty() ? "" : ": " + detail);
        case DcrawEnd::kExitCode:
            return "dcraw ended with exit code " + std::to_string(exit_code);
        case DcrawEnd::kCrashed:
            return "dcraw crashed";
        case DcrawEnd::kNoTiff:
            return "dcraw wrote no TIFF";
        case DcrawEnd::kStopped:
            return "dcraw was stopped";
        case DcrawEnd::kNeverStarted:
            return "dcraw was not started";
    }
    return "";
}

struct DcrawProcess::Impl {
    std::string program;
    DcrawJob job;
    std::unique_ptr<QProcess> process;
    DcrawResult result;
    std::string messages;  // the tail of dcraw's error output
    bool finished = false;
    bool stopping = false;
    std::function<void()> on_end;

    ~Impl() {
        on_end = nullptr;
        if (process) {
            // No signal may reach this object while the process is torn down.
            process->disconnect();
        }
    }

    void ReadMessages() {
        messages += process->readAllStandardError().toStdString();
        if (messages.size() > kMessageTail) {
            messages.erase(0, messages.size() - kMessageTail);
        }
    }

    void Finish(DcrawEnd end) {
        if (finished) {
            return;
        }
        finished = true;
        result.end = end;
        result.last_line = LastLine(messages);
        if (end != DcrawEnd::kDone) {
            // Whatever a failed or stopped run left under the TIFF's name is not a development.
            Remove(job.tiff);
        }
        if (on_end) {
            auto callback = std::move(on_end);
            on_end = nullptr;
            callback();
        }
    }

    void OnFinished(int exit_code, QProcess::ExitStatus state) {
        if (stopping) {
            return;
        }
        ReadMessages();
        result.exit_code = exit_code;
        if (state == QProcess::CrashExit) {
            Finish(DcrawEnd::kCrashed);
        } else if (exit_code != 0) {
            Finish(DcrawEnd::kExitCode);
        } else if (!ExisteArchivo(job.tiff)) {
            Finish(DcrawEnd::kNoTiff);
        } else {
            Finish(DcrawEnd::kDone);
        }
    }
};

DcrawProcess::DcrawProcess(std::string program, DcrawJob job) : impl_(std::make_unique<Impl>()) {
    impl_->program = std::move(program);
    impl_->job = std::move(job);
}

DcrawProcess::~DcrawProcess() {
    impl_->on_end = nullptr;
    Stop();
}

void DcrawProcess::Start(std::function<void()> on_end) {
    Impl& d = *impl_;
    d.on_end = std::move(on_end);
    d.process = std::make_unique<QProcess>();
    QProcess& process = *d.process;
    QStringList arguments;
    for (const std::string& argument : d.job.arguments) {
        arguments << QFile::decodeName(QByteArray::fromStdString(argument));
    }
    process.setProgram(QFile::decodeName(QByteArray::fromStdString(d.program)));
    process.setArguments(arguments);
    // With -c among the user's options dcraw would write the image to its output; it is not a
    // development (no TIFF), and must not fill a pipe nobody reads.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&process, &QProcess::readyReadStandardError, [&d] { d.ReadMessages(); });
    QObject::connect(&process, &QProcess::errorOccurred, [&d](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !d.stopping) {
            d.result.detail = d.process->errorString().toStdString();
            d.Finish(DcrawEnd::kNotStarted);
        }
    });
    QObject::connect(
        &process, &QProcess::finished,
        [&d](int exit_code, QProcess::ExitStatus state) { d.OnFinished(exit_code, state); });
    process.start();
}

void DcrawProcess::Stop() {
    Impl& d = *impl_;
    if (d.finished) {
        return;
    }
    d.stopping = true;
    if (d.process && d.process->state() != QProcess::NotRunning) {
        d.process->kill();
        d.process->waitForFinished(kDeathWaitMs);
    }
    d.Finish(d.process ? DcrawEnd::kStopped : DcrawEnd::kNeverStarted);
}

bool DcrawProcess::Finished() const {
    return impl_->finished;
}

const DcrawResult& DcrawProcess::Result() const {
    return impl_->result;
}

std::vector<DcrawResult> RunDcraw(const std::string& program, const std::vector<DcrawJob>& jobs,
                                  int at_once, UserChannel& channel,
                                  const std::function<void(size_t)>& job_done) {
    const size_t n = jobs.size();
    std::vector<DcrawResult> results(n);
    if (n == 0) {
        return results;
    }
    if (QCoreApplication::instance() == nullptr) {
        throw std::logic_error("running dcraw needs the Qt runtime (QtRuntime)");
    }
    const size_t limit = static_cast<size_t>(at_once > 0 ? at_once : AvailableThreads());
    std::vector<std::unique_ptr<DcrawProcess>> processes(n);
    size_t next = 0;
    std::vector<bool> notified(n, false);
    std::string shown_progress;
    bool cancelled = false;
    QEventLoop loop;

    // Every change of the run's state happens here, called from the event loop only: a
    // process that ends (even inside its own start) just asks for another pass.
    std::function<void()> pump;
    auto request_pass = [&] {
        QMetaObject::invokeMethod(
            &loop, [&] { pump(); }, Qt::QueuedConnection);
    };
    pump = [&] {
        if (channel.CancelRequested()) {
            cancelled = true;
            loop.quit();
            return;
        }
        size_t running = 0;
        size_t developed = 0;
        for (size_t i = 0; i < next; ++i) {
            if (!processes[i]->Finished()) {
                ++running;
                continue;
            }
            if (!processes[i]->Result().Done()) {
                loop.quit();  // the first failure ends the run
                return;
            }
            ++developed;
            if (job_done && !notified[i]) {
                notified[i] = true;
                job_done(i);
            }
        }
        // dcraw is single-threaded: a last round of fewer runs than the limit (five files on two
        // cores) would leave cores idle for a whole development, so the runs left then start
        // together with the round before and share the cores.
        while (next < n && (running < limit || n - next < limit)) {
            processes[next] = std::make_unique<DcrawProcess>(program, jobs[next]);
            processes[next]->Start(request_pass);
            ++next;
            ++running;
        }
        if (const std::string text = DevelopProgressText(developed, running, n);
            text != shown_progress) {
            shown_progress = text;
            channel.ShowProgress(text);
        }
        if (running == 0 && next == n) {
            loop.quit();
        }
    };

    QTimer vigilante;
    vigilante.setInterval(kCancelPollMs);
    QObject::connect(&vigilante, &QTimer::timeout, [&] {
        if (channel.CancelRequested()) {
            cancelled = true;
            loop.quit();
        }
    });
    vigilante.start();
    request_pass();
    loop.exec();
    vigilante.stop();
    // Ctrl+C in a terminal reaches dcraw too: a process that died of it is a cancel, not a
    // failure.
    cancelled = cancelled || channel.CancelRequested();

    for (size_t i = 0; i < n; ++i) {
        if (processes[i]) {
            processes[i]->Stop();  // only those still running are affected
            results[i] = processes[i]->Result();
        }
    }
    if (cancelled) {
        throw Cancelled();
    }
    return results;
}

}  // namespace brimsal
