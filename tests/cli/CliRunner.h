// Runs a program of this build and captures its exit code, stdout and stderr.
#pragma once

#include <QProcess>
#include <QStringList>
#include <sstream>
#include <string>
#include <vector>

namespace brimsal::test {

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};

// Runs `program` with `arguments` (no shell), waiting at most `timeout_ms`.
inline RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
                     int timeout_ms = 120000) {
    QStringList list;
    for (const auto& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcess process;
    process.start(QString::fromStdString(program), list);
    RunResult result;
    if (!process.waitForStarted(10000)) {
        result.err = "could not start " + program;
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeout_ms)) {
        process.kill();
        process.waitForFinished();
        result.err = "timed out";
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err += process.readAllStandardError().toStdString();
    result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

}  // namespace brimsal::test
