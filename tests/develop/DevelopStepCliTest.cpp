// brimsal-cli's develop step with a stand-in dcraw first on PATH: the patch measured on the
// neutral development feeds the batch, the warnings of the window's choices, and the exit code
// of every failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "develop/FakeDcraw.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

const std::string kCli = BRIMSAL_CLI_PATH;

class DevelopStepCli : public test::FakeDcrawTest {
  protected:
    void SetUp() override {
        FakeDcrawTest::SetUp();
        // Two frames, grey under a light that makes green twice red and 4/3 of blue.
        EscribirTIFF(test::ConstantFrame(40, 30, 100, 200, 150), photos_.file("a.dng"));
        EscribirTIFF(test::ConstantFrame(40, 30, 400, 800, 600), photos_.file("b.dng"));
    }

    test::TempDir photos_;
};

TEST_F(DevelopStepCli, PatchMeasuredOnTheNeutralDevelopmentDrivesTheBatch) {
    FakeDcraw(test::kCopyRaw);
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

TEST_F(DevelopStepCli, CameraWhiteBalanceAndHighlightRecoveryWarn) {
    FakeDcraw(test::kCopyRaw);
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

// The terminal closing (SIGHUP) while dcraw runs stops the run like Ctrl+C: dcraw is stopped,
// its partial TIFF removed, exit 130; before, the process died and left both behind.
TEST_F(DevelopStepCli, HangupCancelsTheRunCleanly) {
    FakeDcraw("printf partial > \"$tiff\"\nkill -HUP $PPID\nexec sleep 30\n");
    const test::RunResult result = test::Run(kCli, {"--threads", "1", photos_.file("a.dng")});
    EXPECT_EQ(result.exit_code, 130) << result.err;
    EXPECT_NE(result.err.find("WARNING: Cancelled"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(photos_.file("a.tiff")));
    EXPECT_FALSE(std::filesystem::exists(photos_.file("b.tiff")));
}

// An impossible patch, a failing dcraw and a missing dcraw each end with exit code 1.
TEST_F(DevelopStepCli, FailuresExitOne) {
    const struct {
        const char* dcraw;  // the stand-in's body; nullptr: no dcraw on PATH
        std::vector<std::string> options;
        std::string err, out;  // parts of stderr and stdout
    } cases[] = {
        {test::kCopyRaw,
         {"--wb", "patch:0.1,0.1,0.9,0.9"},
         "ERROR: Impossible to WB patch, some channel is very low and/or insufficient sample",
         ""},
        {"echo \"$(basename \"$last\"): Cannot decode file\" >&2\nexit 1\n",
         {"--threads", "1"},
         "ERROR: DCRAW could not develop a.dng",
         "Error developing a.dng (dcraw ended with exit code 1): a.dng: Cannot decode "
         "file\nDONE\n"},
        {nullptr, {}, "ERROR: DCRAW not found in '" + photos_.path() + "'", ""},
    };
    EscribirTIFF(test::ConstantFrame(40, 30, 60000, 60000, 60000), photos_.file("a.dng"));
    for (const auto& c : cases) {
        if (c.dcraw != nullptr) {
            FakeDcraw(c.dcraw);
        } else {
            setenv("PATH", photos_.path().c_str(), 1);
        }
        std::vector<std::string> arguments = {"--steps", "develop"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(photos_.file("a.dng"));
        const test::RunResult run = test::Run(kCli, arguments);
        EXPECT_EQ(run.exit_code, 1) << c.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace brimsal
