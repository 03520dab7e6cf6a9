// The RAW set of a reference (same extension, sorted, at most ten, the tenth as reference), the
// dcraw argument lists and finding dcraw on PATH; the development jobs against a stand-in dcraw
// first on PATH (a shell script that records its arguments and copies the "RAW" file, a TIFF
// under a RAW name, to the TIFF dcraw would write, or fails, crashes, writes nothing or hangs),
// brimsal-cli's develop step on the same stand-in, and the jobs with the real dcraw on a real
// camera file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"
#include "develop/DevelopJobs.h"
#include "develop/DevelopSettings.h"
#include "develop/RawFileSet.h"
#include "image/TiffIO.h"
#include "road/Road.h"
#include "support/FakeDcraw.h"
#include "support/Fixtures.h"
#include "support/RecorderChannel.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using Arguments = std::vector<std::string>;

// IMG_01.extension .. IMG_last.extension from `first`.
Arguments Names(int first, int last, const std::string& extension) {
    Arguments names;
    for (int i = first; i <= last; ++i) {
        names.push_back(std::string("IMG_") + (i < 10 ? "0" : "") + std::to_string(i) + "." +
                        extension);
    }
    return names;
}

// Writes `files` into `dir` (a name ending in "/" is a folder), last to first: the listing sorts.
void Create(const test::TempDir& dir, const Arguments& files) {
    for (auto name = files.rbegin(); name != files.rend(); ++name) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(*name)).parent_path());
        if (!name->ends_with("/")) {
            test::WriteBytes(dir.file(*name), {1, 2, 3});
        }
    }
}

// Each listing replaces whatever set the session held before.
TEST(RawFileSet, ListingCases) {
    const struct {
        Arguments files;
        std::string reference;
        Arguments set;  // expected
        std::string reference_after;
        bool box;
    } cases[] = {
        // Only the reference's extension counts.
        {{"a.nef", "b.cr2", "c.nef"}, "c.nef", {"a.nef", "c.nef"}, "c.nef", false},
        // 12 files: the first 10, the tenth becomes the reference, the box.
        {Names(1, 12, "cr2"), "IMG_12.cr2", Names(1, 10, "cr2"), "IMG_10.cr2", true},
        // Exactly 10: all of them, the reference stays, no box.
        {Names(1, 10, "dng"), "IMG_03.dng", Names(1, 10, "dng"), "IMG_03.dng", false},
        // The extension's case is ignored; another system's companion files ("._") and folders
        // ("c.cr2/") are left out; names of two- and four-byte UTF-8 characters are taken.
        {{"a.CR2", "b.cr2", "._b.cr2", "c.cr2/", "\xC3\xA9.cr2", "\xF0\x9F\x93\xB7.cr2"},
         "b.cr2",
         {"a.CR2", "b.cr2", "\xC3\xA9.cr2", "\xF0\x9F\x93\xB7.cr2"},
         "b.cr2",
         false},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Create(dir, c.files);
        std::string ruta = dir.file(c.reference);
        Arguments set = Names(1, 12, "old");
        RecorderChannel channel;
        ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
        EXPECT_EQ(set, c.set);
        EXPECT_EQ(ruta, dir.file(c.reference_after));
        EXPECT_EQ(channel.log(),
                  Arguments{std::to_string(c.set.size()) + " RAW files selected in path"});
        EXPECT_EQ(test::OnlyBox(channel),
                  c.box ? "ERROR: No more than 10 RAW files allowed.  Only the current 10 files "
                          "are selected"
                        : "<0 boxes>");
    }
}

// Developing deletes name.tiff beside each RAW file first: a TIFF given as the reference, two
// names one TIFF apart, or a name or folder dcraw would be handed mangled must stop at the
// listing, with every file left as it was.
TEST(RawFileSet, TiffGivenAsReferenceOrCaseTwinsOrNonUtf8NamesAreRefused) {
    const struct {
        Arguments files;
        std::string reference;
        std::string cause;  // expected part of the error
    } cases[] = {
        {{"IMG_0001.tiff", "IMG_0002.tiff"}, "IMG_0001.tiff", "'IMG_0001.tiff' is a TIFF file"},
        {{"IMG_0001.TIF"}, "IMG_0001.TIF", "'IMG_0001.TIF' is a TIFF file"},
        {{"IMG_0001.dng", "IMG_0002.DNG", "IMG_0002.dng"},
         "IMG_0001.dng",
         "'IMG_0002.DNG' and 'IMG_0002.dng' differ only in letter case"},
        {{"IMG_0001.dng", "IMG_\xE9.dng"}, "IMG_0001.dng", "The file name 'IMG_\\xE9.dng'"},
        {{"\xFF/IMG_0001.dng"}, "\xFF/IMG_0001.dng", "\\xFF/IMG_0001.dng' is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Create(dir, c.files);
        std::string ruta = dir.file(c.reference);
        Arguments set = {"old.cr2"};
        RecorderChannel channel;
        EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel)) << c.cause;
        EXPECT_EQ(set, Arguments{"old.cr2"});
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_NE(channel.boxes()[0].text.find(c.cause), std::string::npos)
            << channel.boxes()[0].text;
        EXPECT_EQ(channel.log(), (Arguments{channel.boxes()[0].text, "DONE"}));
        for (const std::string& name : c.files) {
            EXPECT_EQ(std::filesystem::file_size(dir.file(name)), 3u) << name;
        }
    }
}

// Leaving the saturation box: a number rounded half to even, anything else empty. A row of the
// saturation list that does not exist changes nothing; "DCRAW value" empties the text.
TEST(DevelopSettings, SaturationTextAndRows) {
    test::NumericLocale point("C");
    const std::pair<const char*, const char*> saturations[] = {
        {"007", "7"}, {"2.5", "2"}, {"3.5", "4"}, {"x", ""}, {"", ""}};
    for (const auto& [typed, left] : saturations) {
        EXPECT_EQ(CleanTxtSat(typed), left) << typed;
    }
    DevelopSettings settings;
    settings.txtSat = "15299";
    ChooseSaturationRow(settings, 7);
    EXPECT_EQ(settings.txtSat, "15299");
    ChooseSaturationRow(settings, 0);
    EXPECT_EQ(settings.txtSat, "");
}

// The start values with point texts whatever the test process's locale.
DevelopSettings StartSettings() {
    DevelopSettings settings;
    settings.wb.txtWB = {"2.132483", "1", "1.480864"};
    return settings;
}

// The shown line of each job (the list joined: an element with a blank is quoted, so boundaries
// stay visible) as the settings change one after another from the start values.
TEST(DcrawCommand, OptionsOfEveryJobInOrder) {
    const std::string raw = "/my photos/a.dng";
    const std::string quoted_raw = " \"" + raw + "\"";
    const auto line = [](const Arguments& arguments) {
        const std::string shown = DcrawLine("dcraw", arguments);
        EXPECT_EQ(shown.rfind("dcraw -v -4 -T ", 0), 0u) << shown;
        return shown.substr(15);
    };
    DevelopSettings s = StartSettings();
    EXPECT_EQ(line(QuickArguments(s, false, raw)),
              "-r 2.132483 1 1.480864 1 -q 3 -o 1 -t 0 -h" + quoted_raw);
    // Headroom adds -H 1 after the multipliers of every job; highlight recovery's -H 2 comes
    // later and wins (it divides by the largest as well).
    s.headroom = true;
    s.txtDCRAW = "-k 512";
    EXPECT_EQ(line(QuickArguments(s, false, raw)),
              "-r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -t 0 -h -k 512" + quoted_raw);
    EXPECT_EQ(line(QuickArguments(s, true, raw)),
              "-r 1 1 1 1 -H 1 -q 3 -o 0 -t 0 -h -k 512" + quoted_raw);
    EXPECT_EQ(line(HighlightRecoveryArguments(s, raw)),
              "-r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -k 512 -H 2" + quoted_raw);
    // Camera: -w in place of the multipliers, and no headroom (its multipliers are not known
    // beforehand); neutral: unity multipliers and raw colour whatever the mode and profile.
    s.wb.mode = WBMode::kCamera;
    s.profile = 4;
    EXPECT_EQ(line(BatchArguments(s, {raw})), "-w -q 3 -o 4 -k 512" + quoted_raw);
    EXPECT_EQ(line(QuickArguments(s, true, raw)),
              "-r 1 1 1 1 -q 3 -o 0 -t 0 -h -k 512" + quoted_raw);
    // Coefficients typed with a decimal comma reach dcraw with a point, green twice; then
    // saturation, demosaic, profile and the user's options (a text never cleaned up still gives
    // no empty arguments).
    s = StartSettings();
    s.wb.mode = WBMode::kCoeffs;
    s.wb.txtWB = {"2,1", "1", "1,5"};
    s.txtSat = "15299";
    s.quality = 0;
    s.profile = 5;
    s.txtDCRAW = "  -k   512 -n 100 ";
    EXPECT_EQ(line(ComandoDCRAW(s, true, false)),
              "-r 2.1 1 1.5 1 -S 15299 -q 0 -o 5 -t 0 -h -k 512 -n 100");
    EXPECT_EQ(DcrawLine("/opt/my tools/dcraw", {"-v"}), "\"/opt/my tools/dcraw\" -v");
    // dcraw's TIFF replaces the extension of the name, not a point of the folder.
    EXPECT_EQ(TiffPathOf("/a.b/IMG_1.CR2"), "/a.b/IMG_1.tiff");
}

TEST(DcrawLookup, FirstExecutableOnThePathWinsOrTheBoxNamesThePath) {
    test::TempDir first;
    test::TempDir second;
    auto executable = [](const std::string& path, bool yes) {
        test::Touch(path);
        ::chmod(path.c_str(), yes ? 0755 : 0644);
    };
    const std::string path = first.path() + "::" + second.path() + "/";
    EXPECT_FALSE(FindDcraw(path).has_value());
    EXPECT_FALSE(FindDcraw("").has_value());
    executable(first.file("dcraw"), false);  // not executable: skipped
    executable(second.file("dcraw"), true);
    EXPECT_EQ(FindDcraw(path), second.file("dcraw"));
    executable(first.file("dcraw"), true);
    EXPECT_EQ(FindDcraw(path), first.file("dcraw"));

    // Without dcraw the shown line starts with the bare program name, and the jobs show the box
    // and leave the log as it was.
    const std::string saved_path = std::getenv("PATH");
    setenv("PATH", second.path().c_str(), 1);
    std::remove(second.file("dcraw").c_str());
    EXPECT_EQ(QuickLine(StartSettings()).rfind("dcraw -v -4 -T ", 0), 0u);
    RecorderChannel channel;
    channel.AnadirLog("earlier line", false);
    Session session;
    session.Ruta = first.file("a.dng");
    session.ArchivosRAW = {"a.dng"};
    EXPECT_FALSE(LocateDcraw(channel).has_value());
    EXPECT_FALSE(RunDevelop(session, StartSettings(), channel).finished);
    EXPECT_FALSE(ReveladoRapido(session.Ruta, false, StartSettings(), channel).finished);
    setenv("PATH", saved_path.c_str(), 1);
    EXPECT_EQ(channel.boxes().size(), 3u);
    for (const RecorderChannel::Box& box : channel.boxes()) {
        EXPECT_EQ(box.title + ": " + box.text, "ERROR: DCRAW not found in '" + second.path() + "'");
    }
    EXPECT_EQ(channel.log(), Arguments{"earlier line"});
}

// A channel that asks to cancel once every one of some files exists.
class CancelWhenFilesExist : public RecorderChannel {
  public:
    explicit CancelWhenFilesExist(Arguments paths) : paths_(std::move(paths)) {}
    bool CancelRequested() const override {
        return std::all_of(paths_.begin(), paths_.end(),
                           [](const std::string& p) { return ExisteArchivo(p); });
    }

  private:
    Arguments paths_;
};

class DevelopJobs : public test::FakeDcrawTest {
  protected:
    void SetUp() override { std::filesystem::create_directory(folder_); }

    // Stand-in RAW files a.dng, b.dng, ... (small TIFFs the fake dcraw copies: grey of these green
    // levels under a light that makes green twice red and 4/3 of blue) and their session.
    Session Raws(const std::vector<uint16_t>& levels) {
        Session session;
        for (const uint16_t level : levels) {
            const char letter = static_cast<char>('a' + session.ArchivosRAW.size());
            session.ArchivosRAW.push_back(std::string(1, letter) + ".dng");
            WriteTiff(test::ConstantFrame(40, 30, level / 2, level, level * 3 / 4),
                      Photo(session.ArchivosRAW.back()));
        }
        session.Ruta = Photo("a.dng");
        session.threads = 2;
        return session;
    }

    // The "RAW" files' folder: a long name with blanks (paths stay one argument, with no length
    // limit).
    std::string Photo(const std::string& name) const { return folder_ + "/" + name; }

    test::TempDir photos_;
    const std::string folder_ = photos_.file(std::string(150, 'x') + " with blanks");
    DevelopSettings settings_ = StartSettings();
};

TEST_F(DevelopJobs, NoFileLeftToDevelop) {
    FakeDcraw(test::kCopyRaw);
    Session session = Raws({});
    session.ArchivosRAW = {"a.dng", "b.dng"};  // neither exists
    RecorderChannel channel;
    EXPECT_FALSE(RunDevelop(session, settings_, channel).finished);
    EXPECT_EQ(channel.log(),
              (Arguments{"2 RAW files selected in path", "file a.dng not found. Skipped",
                         "file b.dng not found. Skipped", "0 RAW files found now",
                         "Not files to develop", "\nDONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_TRUE(Calls().empty());
}

// A RAW file deleted after the listing is skipped, and its old TIFF (another development) stays
// on disk but out of the set. The three others develop side by side on two threads, a last short
// round joining the one before: each stand-in waits until three have started.
TEST_F(DevelopJobs, BatchDevelopsEveryFileWithItsOwnProcessAndSkippedRawsOldTiffStaysOut) {
    FakeDcraw(R"sh(touch "$calls/started.$$"
n=0
while [ "$(ls "$calls" | grep -c '^started')" -lt 3 ]; do
  n=$((n+1)); [ $n -gt 400 ] && exit 3; sleep 0.05
done
)sh" + std::string(test::kCopyRaw));
    Session session = Raws({1000, 2000, 3000, 4000});
    std::filesystem::rename(Photo("b.dng"), Photo("b.tiff"));
    RecorderChannel channel;
    const DevelopResult result = RunDevelop(session, settings_, channel);
    EXPECT_TRUE(result.finished && result.enable_ev);
    EXPECT_EQ(result.NumArchivosRevelar, 3);
    EXPECT_EQ(channel.log(), (Arguments{"4 RAW files selected in path",
                                        "file b.dng not found. Skipped", "3 RAW files found now",
                                        "\nDeveloping 3 RAW files...", "PLEASE WAIT", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(ReadTiff(Photo("d.tiff")).pixels[1], 4000);
    EXPECT_EQ(ReadTiff(Photo("b.tiff")).pixels[1], 2000);
    EXPECT_EQ(session.ArchivosRAW, (Arguments{"a.dng", "c.dng", "d.dng"}));
    // One process per file, each given the batch options and its one path.
    const std::vector<Arguments> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i], BatchArguments(settings_, {Photo(session.ArchivosRAW[i])}));
    }
    // The quick line is shown again at the end.
    EXPECT_EQ(channel.dcrawLine(), QuickLine(settings_));
}

// The log line naming the cause, "DONE" and the box, no beep; a TIFF left by an earlier
// development is deleted first and never passes for this one.
TEST_F(DevelopJobs, FailedRunsAreReported) {
    const struct {
        const char* body;  // the stand-in's script after the preamble; "": it cannot start
        bool rapido;       // run as the quick job instead of the batch
        std::string cause;
        std::string last_line;  // of dcraw's messages
    } cases[] = {
        {"echo \"Loading $last ...\" >&2\n"
         "echo \"$(basename \"$last\"): Unexpected end of file\" >&2\nexit 1\n",
         false, "dcraw ended with exit code 1", "a.dng: Unexpected end of file"},
        {"echo \"Writing data to somewhere ...\" >&2\nexit 0\n", false, "dcraw wrote no TIFF",
         "Writing data to somewhere ..."},
        {"kill -SEGV $$\n", true, "dcraw crashed", ""},
        {"", false, "dcraw could not be started", ""},
    };
    for (const auto& c : cases) {
        if (*c.body != '\0') {
            FakeDcraw(c.body);
        } else {
            std::ofstream(bin_.file("dcraw")) << "#!/nonexistent/interpreter\n";
            ::chmod(bin_.file("dcraw").c_str(), 0755);
        }
        test::Touch(Photo("a.tiff"));
        Session session = Raws({1000});
        RecorderChannel channel;
        const DevelopResult result = c.rapido
                                         ? ReveladoRapido(session.Ruta, false, settings_, channel)
                                         : RunDevelop(session, settings_, channel);
        EXPECT_FALSE(result.finished) << c.cause;
        const Arguments log = channel.log();
        ASSERT_GE(log.size(), 2u);
        const std::string line = log[log.size() - 2];
        EXPECT_TRUE(line.starts_with("Error developing a.dng (" + c.cause) &&
                    line.ends_with(c.last_line.empty() ? ")" : "): " + c.last_line))
            << line;
        EXPECT_EQ(log.back(), "DONE");
        const std::string box = test::OnlyBox(channel);
        EXPECT_TRUE(box.starts_with("ERROR: DCRAW could not develop a.dng: " + c.cause) &&
                    box.ends_with(c.last_line.empty() ? "" : "\n" + c.last_line))
            << box;
        EXPECT_EQ(channel.beeps(), 0);
        EXPECT_FALSE(ExisteArchivo(Photo("a.tiff")));
    }
}

TEST_F(DevelopJobs, OneFailingFileEndsTheBatch) {
    FakeDcraw(std::string("case \"$last\" in *b.dng) ") +
              "echo 'b.dng: Cannot decode file' >&2; exit 1;; esac\n" + test::kCopyRaw);
    Session session = Raws({1000, 2000, 3000});
    session.threads = 1;
    RecorderChannel channel;
    const DevelopResult result = RunDevelop(session, settings_, channel);
    EXPECT_FALSE(result.finished || result.enable_ev);
    EXPECT_TRUE(channel.logContains(
        "Error developing b.dng (dcraw ended with exit code 1): b.dng: Cannot decode file"));
    EXPECT_TRUE(ExisteArchivo(Photo("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Photo("c.tiff")));  // never started
    EXPECT_EQ(Calls().size(), 2u);
}

// Both stand-ins hang, so the cancel comes only once the two files develop side by side.
TEST_F(DevelopJobs, CancelKillsEveryProcessAndRemovesPartialTiffs) {
    FakeDcraw("echo $$ > \"$calls/pid.$$\"\nprintf partial > \"$tiff\"\nexec sleep 60\n");
    Session session = Raws({1000, 2000});
    CancelWhenFilesExist channel({Photo("a.tiff"), Photo("b.tiff")});
    EXPECT_THROW(RunDevelop(session, settings_, channel), Cancelled);
    EXPECT_FALSE(ExisteArchivo(Photo("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Photo("b.tiff")));
    const std::vector<Arguments> pids = Recorded("pid.");
    EXPECT_EQ(pids.size(), 2u);
    for (const Arguments& lines : pids) {
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(::kill(std::stoi(lines[0]), 0) == -1 && errno == ESRCH) << lines[0] << " runs";
    }
    EXPECT_TRUE(channel.boxes().empty());
}

// Multipliers that cannot be developed with stop the quick and the batch development before
// dcraw runs, with the box naming the multiplier.
TEST_F(DevelopJobs, UnusableMultipliersRunNoDcraw) {
    FakeDcraw(test::kCopyRaw);
    Session session = Raws({1000, 2000});
    settings_.wb.txtWB[2] = "0";
    RecorderChannel channel;
    EXPECT_FALSE(RunQuickDevelop(session, settings_, channel).finished);
    EXPECT_FALSE(RunDevelop(session, settings_, channel).finished);
    EXPECT_TRUE(Calls().empty());
    ASSERT_EQ(channel.boxes().size(), 2u);
    EXPECT_EQ(channel.boxes()[1].text.rfind("The blue white balance multiplier '0'", 0), 0u);
}

// The neutral development leaves the shown line alone, the display development shows its own;
// a RAW file that is gone runs no process.
TEST_F(DevelopJobs, QuickDevelopments) {
    FakeDcraw(test::kCopyRaw);
    Raws({1000});
    RecorderChannel channel;
    channel.MostrarLineaDCRAW("shown before");
    EXPECT_EQ(ReveladoRapido(Photo("a.dng"), true, settings_, channel).tiff, Photo("a.tiff"));
    EXPECT_EQ(channel.dcrawLine(), "shown before");
    EXPECT_FALSE(ReveladoRapido(Photo("gone.dng"), false, settings_, channel).finished);
    EXPECT_EQ(channel.log(), (Arguments{"Quick developing a.dng...", "a.dng neutral developed",
                                        "DONE", "gone.dng not found.", "DONE"}));
    EXPECT_TRUE(ReveladoRapido(Photo("a.dng"), false, settings_, channel).finished);
    EXPECT_EQ(channel.dcrawLine(), QuickLine(settings_));
    EXPECT_EQ(Calls(), (std::vector<Arguments>{QuickArguments(settings_, true, Photo("a.dng")),
                                               QuickArguments(settings_, false, Photo("a.dng"))}));
}

TEST_F(DevelopJobs, HighlightRecoveryRedevelopsTheDarkestFrame) {
    FakeDcraw(test::kCopyRaw);
    Session session = Raws({30000, 1000, 8000});  // the darkest in the middle of the names
    settings_.hlRecovery = true;
    RecorderChannel channel;
    const DevelopResult result = RunDevelop(session, settings_, channel);
    EXPECT_TRUE(result.finished && result.enable_ev);
    EXPECT_EQ(session.set.TIFFMasOscuro, Photo("b.tiff"));
    EXPECT_FALSE(session.set.TIFFsCargados);
    const Arguments all = channel.allLines();
    const auto waiting = std::find(all.begin(), all.end(), "Waiting to save last TIFF...");
    ASSERT_NE(waiting, all.end());
    EXPECT_EQ(*(waiting + 1), "\nDONE");
    const Arguments log = channel.log();  // restarted by the load of the set
    EXPECT_EQ(log.front(), "Loading 3 TIFF files...");
    EXPECT_EQ(Arguments(log.end() - 2, log.end()),
              (Arguments{"\nHighlight recovery on b.dng...", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    // The three batch runs, then the darkest frame's once more.
    const std::vector<Arguments> calls = Calls();
    EXPECT_EQ(calls.size(), 4u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(),
                         HighlightRecoveryArguments(settings_, Photo("b.dng"))),
              1);
    EXPECT_TRUE(ExisteArchivo(Photo("b.tiff")));
    Session one = Raws({1000});  // one TIFF loads: no sorting, no second development
    EXPECT_FALSE(RunDevelop(one, settings_, channel).finished);
}

const std::string kCli = BRIMSAL_CLI_PATH;

class DevelopStepCli : public DevelopJobs {
  protected:
    void SetUp() override {
        DevelopJobs::SetUp();
        Raws({200, 800});
    }
};

TEST_F(DevelopStepCli, PatchMeasuredOnTheNeutralDevelopmentDrivesTheBatch) {
    FakeDcraw(test::kCopyRaw);
    // A square and a round patch on the grey: both measure 2, 1, 1.333.
    for (const char* patch : {"patch:0.25,0.25,0.5,0.5", "patch:0.5,0.5,0.6,0.5,round"}) {
        std::filesystem::remove_all(bin_.file("calls"));
        const test::RunResult run = test::Run(
            kCli, {"--steps", "develop", "--wb", patch, "--threads", "1", Photo("a.dng")});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out,
                  "2 RAW files selected in path\nQuick developing a.dng...\na.dng neutral "
                  "developed\nDONE\nCalculating WB in patch...\nDONE\n2 RAW files selected in "
                  "path\n2 RAW files found now\n\nDeveloping 2 RAW files...\nPLEASE WAIT\nDONE\n");
        // The neutral run, then one run per file with the measured multipliers.
        std::vector<Arguments> multipliers;
        for (const Arguments& call : Calls()) {
            const auto r = std::find(call.begin(), call.end(), "-r");
            ASSERT_LE(r + 5, call.end());
            multipliers.emplace_back(r + 1, r + 5);
        }
        std::sort(multipliers.begin(), multipliers.end());
        const Arguments measured = {"2", "1", "1.333", "1"};
        EXPECT_EQ(multipliers, (std::vector<Arguments>{{"1", "1", "1", "1"}, measured, measured}))
            << patch;
    }
    // On a clipped frame the patch cannot be measured: exit code 1 before the batch.
    std::filesystem::remove_all(bin_.file("calls"));
    Raws({60000});
    const test::RunResult run =
        test::Run(kCli, {"--steps", "develop", "--wb", "patch:0.1,0.1,0.9,0.9", Photo("a.dng")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ERROR: Impossible to WB patch"), std::string::npos) << run.err;
    EXPECT_EQ(Calls().size(), 1u);
}

// The development options reach every dcraw run; camera white balance and highlight recovery
// warn, and the darker frame is developed again.
TEST_F(DevelopStepCli, OptionsReachDcrawAndCameraWhiteBalanceAndHighlightRecoveryWarn) {
    FakeDcraw(test::kCopyRaw);
    const test::RunResult run =
        test::Run(kCli, {"--steps", "develop", "--wb", "camera", "--hl", "--saturation", "canon40d",
                         "--demosaic", "vng", "--profile", "Adobe RGB", "--dcraw-options",
                         " -k  512 ", Photo("a.dng")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("WARNING: For proper results Brimsal requires all images"),
              std::string::npos);
    EXPECT_NE(run.err.find("WARNING: Highlight recovery activated."), std::string::npos);
    // The darker frame developed again.
    EXPECT_TRUE(run.out.ends_with("\nHighlight recovery on a.dng...\nDONE\n")) << run.out;
    const Arguments options = {"-v", "-4", "-T", "-w", "-S", "13823",
                               "-q", "1",  "-o", "2",  "-k", "512"};
    EXPECT_EQ(Calls().size(), 3u);
    for (const Arguments& call : Calls()) {
        ASSERT_GT(call.size(), options.size());
        EXPECT_EQ(Arguments(call.begin(), call.begin() + 12), options);
    }
}

// The terminal closing (SIGHUP) while dcraw runs stops the run like Ctrl+C: dcraw is stopped,
// its partial TIFF removed, exit 130; before, the process died and left both behind.
TEST_F(DevelopStepCli, HangupCancelsTheRunCleanly) {
    FakeDcraw("printf partial > \"$tiff\"\nkill -HUP $PPID\nexec sleep 30\n");
    const test::RunResult result = test::Run(kCli, {"--threads", "1", Photo("a.dng")});
    EXPECT_EQ(result.exit_code, 130) << result.err;
    EXPECT_NE(result.err.find("WARNING: Cancelled"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(Photo("a.tiff")));
    EXPECT_FALSE(std::filesystem::exists(Photo("b.tiff")));
}

class RealDcraw : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string chart = test::RealChart();
        if (chart.empty()) {
            FAIL() << "the test needs the real RAW";
        }
        if (!FindDcraw(DcrawSearchPath())) {
            GTEST_SKIP() << "dcraw not installed";
        }
        raw_ = dir_.file("chart one.dng");  // a blank in the name: one argument all the same
        std::filesystem::copy_file(chart, raw_);
        ::chmod(raw_.c_str(), 0644);
    }

    test::TempDir dir_;
    std::string raw_;
};

TEST_F(RealDcraw, HalfSizeQuickDevelopmentAndAPatchThatBalancesTheGrey) {
    DevelopSettings settings;
    settings.profile = 0;  // raw colour, so balanced grey reads as equal channels
    RecorderChannel channel;
    const DevelopResult neutral = ReveladoRapido(raw_, true, settings, channel);
    ASSERT_TRUE(neutral.finished) << test::OnlyBox(channel);
    // dcraw reports an output of 1734 x 1156 for this file; the quick development halves both.
    EXPECT_EQ(neutral.tiff, dir_.file("chart one.tiff"));
    const Frame half = ReadTiff(neutral.tiff);
    EXPECT_EQ(half.width, 867);
    EXPECT_EQ(half.height, 578);
    // The chart's fourth grey patch (a mid grey), as fractions of the developed picture.
    const WBPatch patch{452.0 / 867, 456.0 / 578, 468.0 / 867, 472.0 / 578, true, true};
    ASSERT_EQ(CalcularWBPatch(raw_, patch, settings.wb, channel), 1);
    EXPECT_EQ(channel.log().back(), "DONE");

    // Green is the strongest raw channel under this light: it gets 1, the others more.
    EXPECT_EQ(settings.wb.txtWB[1], "1");
    EXPECT_GT(NumberFromText(settings.wb.txtWB[0]).value_or(0), 1.0);
    EXPECT_GT(NumberFromText(settings.wb.txtWB[2]).value_or(0), 1.0);
    // Developed again with the measured multipliers, the patch is grey within 2 %.
    settings.wb.mode = WBMode::kPatch;
    const DevelopResult balanced = ReveladoRapido(raw_, false, settings, channel);
    ASSERT_TRUE(balanced.finished);
    const auto [red_ratio, blue_ratio] = test::RedAndBlueOverGreen(ReadTiff(balanced.tiff), patch);
    EXPECT_NEAR(red_ratio, 1.0, 0.02);
    EXPECT_NEAR(blue_ratio, 1.0, 0.02);
}

}  // namespace
}  // namespace brimsal
