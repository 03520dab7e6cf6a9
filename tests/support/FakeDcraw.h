// A stand-in dcraw first on PATH while it lives: a shell script that records its arguments and
// then runs a body with $last (the RAW path) and $tiff (its TIFF name) set.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/Fixtures.h"  // and the standard headers it includes

namespace brimsal::test {

// A body that copies the "RAW" file (a TIFF under a RAW name) to the TIFF dcraw would write.
inline const char* const kCopyRaw = "cp \"$last\" \"$tiff\"\n";

class FakeDcrawOnPath {
  public:
    explicit FakeDcrawOnPath(const std::string& body = "") {
        const char* path = std::getenv("PATH");
        saved_path_ = path != nullptr ? path : "";
        setenv("PATH", (bin_.path() + ":" + saved_path_).c_str(), 1);
        if (!body.empty()) {
            FakeDcraw(body);
        }
    }
    ~FakeDcrawOnPath() { setenv("PATH", saved_path_.c_str(), 1); }
    FakeDcrawOnPath(const FakeDcrawOnPath&) = delete;
    FakeDcrawOnPath& operator=(const FakeDcrawOnPath&) = delete;

    void FakeDcraw(const std::string& body) {
        const std::string script = bin_.file("dcraw");
        std::ofstream(script) << "#!/bin/sh\ncalls=\"$(dirname \"$0\")/calls\"\n"
                                 "mkdir -p \"$calls\"\nprintf '%s\\n' \"$@\" > \"$calls/call.$$\"\n"
                                 "for last; do :; done\ntiff=\"${last%.*}.tiff\"\n"
                              << body;
        ::chmod(script.c_str(), 0755);
    }

    // The lines of each file the stand-ins left under `prefix` ("call.": the argument lists
    // dcraw was called with; "pid.": the process ids), sorted.
    std::vector<std::vector<std::string>> Recorded(const std::string& prefix = "call.") const {
        std::vector<std::vector<std::string>> files;
        std::error_code none_yet;  // no stand-in has run
        for (const auto& entry :
             std::filesystem::directory_iterator(bin_.file("calls"), none_yet)) {
            if (entry.path().filename().string().starts_with(prefix)) {
                std::ifstream in(entry.path());
                std::vector<std::string> lines;
                for (std::string line; std::getline(in, line);) {
                    lines.push_back(line);
                }
                files.push_back(lines);
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }
    std::vector<std::vector<std::string>> Calls() const { return Recorded(); }
    const TempDir& bin() const { return bin_; }
    const std::string& savedPath() const { return saved_path_; }

  protected:
    TempDir bin_;
    std::string saved_path_;
};

// The stand-in for the whole of one test.
class FakeDcrawTest : public ::testing::Test, public FakeDcrawOnPath {};

}  // namespace brimsal::test
