// Runs a program of this build and captures its exit code, stdout and stderr.
#pragma once

#include <string>
#include <vector>

namespace brimsal::test {

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const;
};

// Runs `program` with `arguments` (no shell), waiting at most `timeout_ms`.
RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
              int timeout_ms = 120000);

}  // namespace brimsal::test
