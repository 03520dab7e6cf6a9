// brimsal-cli's develop step with a stand-in dcraw first on PATH: the patch measured on the
// neutral development feeds the batch, the warnings of the window's choices, and the exit code
// of every failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

const std::string kCli = BRIMSAL_CLI_PATH;

// Records each call's arguments, then copies the "RAW" file (a TIFF) to its TIFF name.
const char* kCopia = R"sh(#!/bin/sh
calls="$(dirname "$0")/calls"
mkdir -p "$calls"
printf '%s\n' "$@" > "$calls/call.$$"
for last; do :; done
cp "$last" "${last%.*}.tiff"
)sh";
const char* kFallo = R"sh(#!/bin/sh
for last; do :; done
echo "$(basename "$last"): Cannot decode file" >&2
exit 1
)sh";

class DevelopStepCli : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        saved_path_ = path != nullptr ? path : "";
        setenv("PATH", (bin_.path() + ":" + saved_path_).c_str(), 1);
        // Two frames, grey under a light that makes green twice red and 4/3 of blue.
        EscribirTIFF(test::ConstantFrame(40, 30, 100, 200, 150), photos_.file("a.dng"));
        EscribirTIFF(test::ConstantFrame(40, 30, 400, 800, 600), photos_.file("b.dng"));
    }
    void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }

    void FakeDcraw(const char* script) {
        std::ofstream(bin_.file("dcraw")) << script;
        ::chmod(bin_.file("dcraw").c_str(), 0755);
    }

    std::vector<Lista> Calls() const {
        std::vector<Lista> calls;
        for (const auto& entry : std::filesystem::directory_iterator(bin_.file("calls"))) {
            std::ifstream in(entry.path());
            Lista args;
            for (std::string line; std::getline(in, line);) {
                args.push_back(line);
            }
            calls.push_back(args);
        }
        return calls;
    }

    test::TempDir bin_;
    test::TempDir photos_;
    std::string saved_path_;
};

TEST_F(DevelopStepCli, PatchMeasuredOnTheNeutralDevelopmentDrivesTheBatch) {
    FakeDcraw(kCopia);
    // A square and a round patch on the grey: both measure 2, 1, 1.333.
    for (const char* patch : {"patch:0.25,0.25,0.5,0.5", "patch:0.5,0.5,0.6,0.5,round"}) {
        std::filesystem::remove_all(bin_.file("calls"));
        const test::RunResult run = test::Run(
            kCli, {"--steps", "develop", "--wb", patch, "--threads", "1", photos_.file("a.dng")});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.outLines(),
                  (Lista{"2 RAW files selected in path", "Quick developing a.dng...",
                         "a.dng neutral developed", "DONE", "Calculating WB in patch...", "DONE",
                         "2 RAW files selected in path", "2 RAW files found now", "",
                         "Developing 2 RAW files...", "PLEASE WAIT", "DONE"}));
        // The neutral run, then one run per file with the measured multipliers.
        const std::vector<Lista> calls = Calls();
        ASSERT_EQ(calls.size(), 3u);
        int neutral = 0;
        int measured = 0;
        for (const Lista& call : calls) {
            const auto r = std::find(call.begin(), call.end(), "-r");
            ASSERT_LE(r + 5, call.end());
            const Lista multipliers(r + 1, r + 5);
            if (multipliers == Lista{"1", "1", "1", "1"}) {
                ++neutral;
            } else {
                EXPECT_EQ(multipliers, (Lista{"2", "1", "1.333", "1"})) << patch;
                ++measured;
            }
        }
        EXPECT_EQ(neutral, 1);
        EXPECT_EQ(measured, 2);
    }
}

TEST_F(DevelopStepCli, ImpossiblePatchExitsOne) {
    FakeDcraw(kCopia);
    EscribirTIFF(test::ConstantFrame(40, 30, 60000, 60000, 60000), photos_.file("a.dng"));
    const test::RunResult run = test::Run(
        kCli, {"--steps", "develop", "--wb", "patch:0.1,0.1,0.9,0.9", photos_.file("a.dng")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ERROR: Impossible to WB patch, some channel is very low and/or "
                           "insufficient sample"),
              std::string::npos);
}

TEST_F(DevelopStepCli, CameraWhiteBalanceAndHighlightRecoveryWarn) {
    FakeDcraw(kCopia);
    const test::RunResult run =
        test::Run(kCli, {"--steps", "develop", "--wb", "camera", "--hl", photos_.file("a.dng")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("WARNING: For proper results Brimsal requires all images"),
              std::string::npos);
    EXPECT_NE(run.err.find("WARNING: Highlight recovery activated."), std::string::npos);
    const Lista lines = run.outLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Highlight recovery on a.dng...");  // the darker frame
    for (const Lista& call : Calls()) {
        EXPECT_NE(std::find(call.begin(), call.end(), "-w"), call.end());
    }
}

TEST_F(DevelopStepCli, DcrawFailureAndMissingDcrawExitOne) {
    FakeDcraw(kFallo);
    test::RunResult run =
        test::Run(kCli, {"--steps", "develop", "--threads", "1", photos_.file("a.dng")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("Error developing a.dng (dcraw ended with exit code 1): a.dng: Cannot "
                           "decode file\nDONE\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("ERROR: DCRAW could not develop a.dng"), std::string::npos);

    setenv("PATH", photos_.path().c_str(), 1);  // no dcraw there
    run = test::Run(kCli, {"--steps", "develop", photos_.file("a.dng")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ERROR: DCRAW not found in '" + photos_.path() + "'"),
              std::string::npos);
}

}  // namespace
}  // namespace brimsal
