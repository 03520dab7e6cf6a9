// brimsal-cli's options, exit codes and its first steps (listing, load and sort) on TIFFs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "CliRunner.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

const std::string kCli = BRIMSAL_CLI_PATH;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliUsage, OutOfRangeOrMalformedOptionsExitTwoNamingTheOption) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--threshold", "120", "x.cr2"}, "--threshold"},
        {{"--antighost", "-1", "x.cr2"}, "--antighost"},
        {{"--progressive", "abc", "x.cr2"}, "--progressive"},
        {{"--gamma", "3.5", "x.cr2"}, "--gamma"},
        {{"--gamma", "2.25", "x.cr2"}, "--gamma"},
        {{"--bracket", "8,2", "x.cr2"}, "--bracket"},
        {{"--bracket", "3", "x.cr2"}, "--bracket"},
        {{"--bw", "80,33", "x.cr2"}, "--bw"},
        {{"--wb", "purple", "x.cr2"}, "--wb"},
        {{"--ev-method", "mode", "x.cr2"}, "--ev-method"},
        {{"--steps", "print", "x.cr2"}, "--steps"},
        {{"--no-develop", "--wb", "patch:0.1,0.1,0.2,0.2", "x.cr2"}, "--no-develop"},
        {{"--no-such-option", "x.cr2"}, "no-such-option"},
        {{}, "REFERENCE_RAW"},
        {{"a.cr2", "b.cr2"}, "REFERENCE_RAW"},
    };
    for (const auto& [arguments, named] : cases) {
        const test::RunResult result = test::Run(kCli, arguments);
        EXPECT_EQ(result.exit_code, 2) << result.err;
        EXPECT_TRUE(Contains(result.err, named)) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

TEST(CliUsage, HelpExitsZero) {
    const test::RunResult result = test::Run(kCli, {"--help"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(Contains(result.out, "REFERENCE_RAW"));
    EXPECT_TRUE(Contains(result.out, "--no-develop"));
}

// Run under a display that is gone (ssh after the forwarding died, cron, tmux): the console
// program needs none and must not abort.
TEST(CliUsage, MissingReferenceExitsOneEvenUnderAStaleDisplay) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string saved_platform = platform != nullptr ? platform : "";
    unsetenv("QT_QPA_PLATFORM");
    setenv("DISPLAY", ":97", 1);
    setenv("WAYLAND_DISPLAY", "brimsal-gone-display", 1);
    test::TempDir dir;
    const test::RunResult result = test::Run(kCli, {"--no-develop", dir.file("none.cr2")});
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (platform != nullptr) {
        setenv("QT_QPA_PLATFORM", saved_platform.c_str(), 1);
    }
    EXPECT_EQ(result.exit_code, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "ERROR: Reference RAW file")) << result.err;
}

// A folder of three RAW stand-ins with their TIFFs, one of them an odd case.
class CliFirstSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& [name, level] : std::vector<std::pair<std::string, uint16_t>>{
                 {"IMG_1", 4000}, {"IMG_2", 1500}, {"IMG_3", 16000}}) {
            test::Touch(dir_.file(name + ".NEF"));
            EscribirTIFF(test::ConstantFrame(12, 8, level, level, level),
                         dir_.file(name + ".tiff"));
        }
        test::Touch(dir_.file("notes.txt"));
    }
    test::TempDir dir_;
};

TEST_F(CliFirstSteps, ListsLoadsAndSorts) {
    const test::RunResult result =
        test::Run(kCli, {"--no-develop", "--steps", "ev", dir_.file("IMG_2.NEF")});
    const std::vector<std::string> expected = {"3 RAW files selected in path",
                                               "Loading 3 TIFF files...",
                                               "",
                                               "Calculating absolute exposure...",
                                               "IMG_1.tiff: 6.1%",
                                               "IMG_2.tiff: 2.3%",
                                               "IMG_3.tiff: 24.4%",
                                               "Sorting images by exposure...",
                                               "Reloading sorted images..."};
    const std::vector<std::string> lines = result.outLines();
    ASSERT_GE(lines.size(), expected.size()) << result.out << result.err;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
}

// Each failure of the first steps ends with exit code 1, the box on stderr, the log on stdout.
TEST_F(CliFirstSteps, FailuresExitOne) {
    const struct {
        std::function<void(const test::TempDir&)> prepare;
        const char* reference;
        std::string err, out;  // parts of stderr and stdout
    } cases[] = {
        {[](const test::TempDir& d) {
             EscribirTIFF(test::ConstantFrame(11, 8, 9, 9, 9), d.file("IMG_3.tiff"));
         },
         "IMG_1.NEF", "ERROR: Image dimensions mismatch between IMG_1.tiff and IMG_3.tiff",
         "Image dimensions mismatch\nDONE\n"},
        {[](const test::TempDir& d) {
             test::WriteBytes(d.file("IMG_2.tiff"), {0, 1, 2, 3});
         },
         "IMG_1.NEF", "Unexpected error occurred in module gflLoadBitmap ['", "IMG_2.tiff"},
        {[](const test::TempDir& d) {
             std::filesystem::remove(d.file("IMG_1.tiff"));
             std::filesystem::remove(d.file("IMG_3.tiff"));
         },
         "IMG_1.NEF", "",
         "file IMG_1.tiff not found. Skipped\nfile IMG_3.tiff not found. Skipped\n\n"
         "Insufficient TIFF files\nDONE\n"},
        {[](const test::TempDir& d) { test::Touch(d.file("IMG_0")); }, "IMG_0",
         "Unexpected error occurred in module LeerArchivosRAW", ""},
    };
    for (const auto& c : cases) {
        SetUp();
        c.prepare(dir_);
        const test::RunResult result = test::Run(kCli, {"--no-develop", dir_.file(c.reference)});
        EXPECT_EQ(result.exit_code, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, c.err)) << result.err;
        EXPECT_TRUE(Contains(result.err + result.out, c.out)) << result.out;
    }
}

// Without --no-develop the TIFFs would be deleted before dcraw is run on them.
TEST_F(CliFirstSteps, TiffGivenAsReferenceDeletesNothing) {
    const auto contents = [this] {
        std::vector<std::string> files;
        for (const char* name : {"IMG_1.tiff", "IMG_2.tiff", "IMG_3.tiff", "IMG_1.NEF"}) {
            std::ifstream in(dir_.file(name), std::ios::binary);
            files.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        }
        return files;
    };
    const std::vector<std::string> before = contents();
    const test::RunResult result = test::Run(kCli, {dir_.file("IMG_2.tiff")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(Contains(result.err, "ERROR: 'IMG_2.tiff' is a TIFF file")) << result.err;
    EXPECT_EQ(contents(), before);
}

TEST_F(CliFirstSteps, RelativeReferenceIsResolved) {
    const test::RunResult result = test::Run(
        "/bin/sh",
        {"-c", "cd '" + dir_.path() + "' && '" + kCli + "' --no-develop --steps ev IMG_1.NEF"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "3 RAW files selected in path\n"));
}

}  // namespace
}  // namespace brimsal
