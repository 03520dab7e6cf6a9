// The development jobs against a stand-in dcraw placed first on PATH (a shell script that
// records its arguments and copies the "RAW" file, a TIFF under a RAW name, to the TIFF dcraw
// would write, or fails, crashes, writes nothing or hangs), brimsal-cli's develop step on the
// same stand-in, and the jobs with the real dcraw on a real camera file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"
#include "develop/DevelopJobs.h"
#include "image/TiffIO.h"
#include "support/FakeDcraw.h"
#include "support/Fixtures.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

const char* const kCopia = test::kCopyRaw;

// A channel that asks to cancel once every one of some files exists.
class CancelarCuandoExistan : public RecorderChannel {
  public:
    explicit CancelarCuandoExistan(Lista paths) : paths_(std::move(paths)) {}
    bool Cancelado() const override {
        return std::all_of(paths_.begin(), paths_.end(),
                           [](const std::string& p) { return ExisteArchivo(p); });
    }

  private:
    Lista paths_;
};

class DevelopJobs : public test::FakeDcrawTest {
  protected:
    void SetUp() override {
        settings_.wb.txtWB = {"2.132483", "1", "1.480864"};
        std::filesystem::create_directory(carpeta_);
    }

    // Stand-in RAW files a.dng, b.dng, ... (small constant TIFFs of these levels, which the fake
    // dcraw copies) and the session of all of them.
    Session Raws(const std::vector<uint16_t>& levels) {
        Session session;
        for (const uint16_t level : levels) {
            const char letter = static_cast<char>('a' + session.ArchivosRAW.size());
            session.ArchivosRAW.push_back(std::string(1, letter) + ".dng");
            EscribirTIFF(test::ConstantFrame(8, 6, level, level, level),
                         Foto(session.ArchivosRAW.back()));
        }
        session.Ruta = Foto("a.dng");
        session.threads = 2;
        return session;
    }

    // The "RAW" files' folder: a long name with blanks (paths stay one argument, with no length
    // limit).
    std::string Foto(const std::string& name) const { return carpeta_ + "/" + name; }

    test::TempDir photos_;
    const std::string carpeta_ = photos_.file(std::string(150, 'x') + " with blanks");
    DevelopSettings settings_;
};

// Without dcraw: the box, and the log as it was; with no file left: the log says so.
TEST_F(DevelopJobs, MissingDcrawOrNoFileLeftRunsNothing) {
    Session session = Raws({});
    session.ArchivosRAW = {"a.dng", "b.dng"};  // neither exists
    setenv("PATH", bin_.path().c_str(), 1);    // no dcraw there
    RecorderChannel channel;
    channel.AnadirLog("earlier line", false);
    EXPECT_FALSE(Revelado(session, settings_, channel).terminado);
    EXPECT_FALSE(ReveladoRapido(session.Ruta, false, settings_, channel).terminado);
    ASSERT_EQ(channel.boxes().size(), 2u);
    EXPECT_EQ(channel.boxes()[0].text, "DCRAW not found in '" + bin_.path() + "'");
    EXPECT_EQ(channel.log(), Lista{"earlier line"});

    setenv("PATH", (bin_.path() + ":" + savedPath()).c_str(), 1);
    FakeDcraw(kCopia);
    RecorderChannel none;
    EXPECT_FALSE(Revelado(session, settings_, none).terminado);
    EXPECT_EQ(none.log(), (Lista{"2 RAW files selected in path", "file a.dng not found. Skipped",
                                 "file b.dng not found. Skipped", "0 RAW files found now",
                                 "Not files to develop", "\nDONE"}));
    EXPECT_EQ(none.beeps(), 1);
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
)sh" + std::string(kCopia));
    Session session = Raws({1000, 2000, 3000, 4000});
    std::filesystem::rename(Foto("b.dng"), Foto("b.tiff"));
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_TRUE(result.terminado);
    EXPECT_EQ(result.NumArchivosRevelar, 3);
    EXPECT_TRUE(result.habilitar_ev);
    EXPECT_EQ(channel.log(), (Lista{"4 RAW files selected in path", "file b.dng not found. Skipped",
                                    "3 RAW files found now", "\nDeveloping 3 RAW files...",
                                    "PLEASE WAIT", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(LeerTIFF(Foto("d.tiff")).pixels.front(), 4000);
    EXPECT_EQ(LeerTIFF(Foto("b.tiff")).pixels.front(), 2000);
    EXPECT_EQ(session.ArchivosRAW, (Lista{"a.dng", "c.dng", "d.dng"}));
    // One process per file, each given the batch options and its one path.
    const std::vector<Lista> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i], ArgumentosLote(settings_, {Foto(session.ArchivosRAW[i])}));
    }
    // The quick line is shown again at the end.
    EXPECT_EQ(channel.dcrawLine(), LineaRapida(settings_));
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
        test::Touch(Foto("a.tiff"));
        Session session = Raws({1000});
        RecorderChannel channel;
        const ResultadoRevelado result =
            c.rapido ? ReveladoRapido(session.Ruta, false, settings_, channel)
                     : Revelado(session, settings_, channel);
        EXPECT_FALSE(result.terminado) << c.cause;
        const Lista log = channel.log();
        ASSERT_GE(log.size(), 2u);
        const std::string line = log[log.size() - 2];
        const std::string box = channel.boxes().empty() ? "" : channel.boxes()[0].text;
        EXPECT_EQ(line.rfind("Error developing a.dng (" + c.cause, 0), 0u) << line;
        EXPECT_TRUE(line.ends_with(c.last_line.empty() ? ")" : "): " + c.last_line)) << line;
        EXPECT_EQ(log.back(), "DONE");
        EXPECT_EQ(
            test::OnlyBox(channel).rfind("ERROR: DCRAW could not develop a.dng: " + c.cause, 0), 0u)
            << box;
        EXPECT_TRUE(box.ends_with(c.last_line.empty() ? "" : "\n" + c.last_line)) << box;
        EXPECT_EQ(channel.beeps(), 0);
        EXPECT_FALSE(ExisteArchivo(Foto("a.tiff")));
    }
}

TEST_F(DevelopJobs, OneFailingFileEndsTheBatch) {
    FakeDcraw(std::string("case \"$last\" in *b.dng) ") +
              "echo 'b.dng: Cannot decode file' >&2; exit 1;; esac\n" + kCopia);
    Session session = Raws({1000, 2000, 3000});
    session.threads = 1;
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_FALSE(result.terminado || result.habilitar_ev);
    EXPECT_TRUE(channel.logContains(
        "Error developing b.dng (dcraw ended with exit code 1): b.dng: Cannot decode file"));
    EXPECT_TRUE(ExisteArchivo(Foto("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Foto("c.tiff")));  // never started
    EXPECT_EQ(Calls().size(), 2u);
}

// Both stand-ins hang, so the cancel comes only once the two files develop side by side.
TEST_F(DevelopJobs, CancelKillsEveryProcessAndRemovesPartialTiffs) {
    FakeDcraw("echo $$ > \"$calls/pid.$$\"\nprintf partial > \"$tiff\"\nexec sleep 60\n");
    Session session = Raws({1000, 2000});
    CancelarCuandoExistan channel({Foto("a.tiff"), Foto("b.tiff")});
    EXPECT_THROW(Revelado(session, settings_, channel), Cancelled);
    EXPECT_FALSE(ExisteArchivo(Foto("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Foto("b.tiff")));
    const std::vector<Lista> pids = Recorded("pid.");
    EXPECT_EQ(pids.size(), 2u);
    for (const Lista& lines : pids) {
        ASSERT_EQ(lines.size(), 1u);
        errno = 0;
        EXPECT_EQ(::kill(std::stoi(lines[0]), 0), -1) << "process " << lines[0] << " still runs";
        EXPECT_EQ(errno, ESRCH);
    }
    EXPECT_TRUE(channel.boxes().empty());
}

// The neutral development leaves the shown line alone, the display development shows its own;
// a RAW file that is gone runs no process.
TEST_F(DevelopJobs, QuickDevelopments) {
    FakeDcraw(kCopia);
    Raws({1000});
    RecorderChannel channel;
    channel.MostrarLineaDCRAW("shown before");
    EXPECT_EQ(ReveladoRapido(Foto("a.dng"), true, settings_, channel).tiff, Foto("a.tiff"));
    EXPECT_EQ(channel.dcrawLine(), "shown before");
    EXPECT_FALSE(ReveladoRapido(Foto("gone.dng"), false, settings_, channel).terminado);
    EXPECT_EQ(channel.log(), (Lista{"Quick developing a.dng...", "a.dng neutral developed", "DONE",
                                    "gone.dng not found.", "DONE"}));
    EXPECT_TRUE(ReveladoRapido(Foto("a.dng"), false, settings_, channel).terminado);
    EXPECT_EQ(channel.dcrawLine(), LineaRapida(settings_));
    EXPECT_EQ(Calls(), (std::vector<Lista>{ArgumentosRapido(settings_, true, Foto("a.dng")),
                                           ArgumentosRapido(settings_, false, Foto("a.dng"))}));
}

TEST_F(DevelopJobs, HighlightRecoveryRedevelopsTheDarkestFrame) {
    FakeDcraw(kCopia);
    Session session = Raws({30000, 1000, 8000});  // the darkest in the middle of the names
    settings_.hlRecovery = true;
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_TRUE(result.terminado && result.habilitar_ev);
    EXPECT_EQ(session.set.TIFFMasOscuro, Foto("b.tiff"));
    EXPECT_FALSE(session.set.TIFFsCargados);
    const Lista all = channel.allLines();
    const auto waiting = std::find(all.begin(), all.end(), "Waiting to save last TIFF...");
    ASSERT_NE(waiting, all.end());
    EXPECT_EQ(*(waiting + 1), "\nDONE");
    const Lista log = channel.log();  // restarted by the load of the set
    EXPECT_EQ(log.front(), "Loading 3 TIFF files...");
    EXPECT_EQ(Lista(log.end() - 2, log.end()), (Lista{"\nHighlight recovery on b.dng...", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    // The three batch runs, then the darkest frame's once more.
    const std::vector<Lista> calls = Calls();
    EXPECT_EQ(calls.size(), 4u);
    EXPECT_EQ(
        std::count(calls.begin(), calls.end(), ArgumentosHLRecovery(settings_, Foto("b.dng"))), 1);
    EXPECT_TRUE(ExisteArchivo(Foto("b.tiff")));
}

// With "HL" only one TIFF loads: the run ends without the second development.
TEST_F(DevelopJobs, OneFileDoesNotEnableCalcEvNorHighlightRecovery) {
    FakeDcraw(kCopia);
    Session session = Raws({1000});
    RecorderChannel channel;
    const ResultadoRevelado plain = Revelado(session, settings_, channel);
    EXPECT_TRUE(plain.terminado);
    EXPECT_FALSE(plain.habilitar_ev);
    settings_.hlRecovery = true;
    const ResultadoRevelado hl = Revelado(session, settings_, channel);
    EXPECT_FALSE(hl.terminado || hl.habilitar_ev);
    EXPECT_FALSE(channel.logContains("\nHighlight recovery on a.dng..."));
    EXPECT_EQ(Calls().size(), 2u);
}

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
        EXPECT_EQ(run.out,
                  "2 RAW files selected in path\nQuick developing a.dng...\na.dng neutral "
                  "developed\nDONE\nCalculating WB in patch...\nDONE\n2 RAW files selected in "
                  "path\n2 RAW files found now\n\nDeveloping 2 RAW files...\nPLEASE WAIT\nDONE\n");
        // The neutral run, then one run per file with the measured multipliers.
        std::vector<Lista> multipliers;
        for (const Lista& call : Calls()) {
            const auto r = std::find(call.begin(), call.end(), "-r");
            ASSERT_LE(r + 5, call.end());
            multipliers.emplace_back(r + 1, r + 5);
        }
        std::sort(multipliers.begin(), multipliers.end());
        const Lista measured = {"2", "1", "1.333", "1"};
        EXPECT_EQ(multipliers, (std::vector<Lista>{{"1", "1", "1", "1"}, measured, measured}))
            << patch;
    }
}

// The development options reach every dcraw run; camera white balance and highlight recovery
// warn, and the darker frame is developed again.
TEST_F(DevelopStepCli, OptionsReachDcrawAndCameraWhiteBalanceAndHighlightRecoveryWarn) {
    FakeDcraw(test::kCopyRaw);
    const test::RunResult run =
        test::Run(kCli, {"--steps", "develop", "--wb", "camera", "--hl", "--saturation", "canon40d",
                         "--demosaic", "vng", "--profile", "Adobe RGB", "--dcraw-options",
                         " -k  512 ", photos_.file("a.dng")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("WARNING: For proper results Brimsal requires all images"),
              std::string::npos);
    EXPECT_NE(run.err.find("WARNING: Highlight recovery activated."), std::string::npos);
    // The darker frame developed again.
    EXPECT_TRUE(run.out.ends_with("\nHighlight recovery on a.dng...\nDONE\n")) << run.out;
    const Lista options = {"-v", "-4", "-T", "-w", "-S", "13823",
                           "-q", "1",  "-o", "2",  "-k", "512"};
    EXPECT_EQ(Calls().size(), 3u);
    for (const Lista& call : Calls()) {
        ASSERT_GT(call.size(), options.size());
        EXPECT_EQ(Lista(call.begin(), call.begin() + 12), options);
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

// A patch where a channel is too low cannot be measured: exit code 1 before the batch.
TEST_F(DevelopStepCli, ImpossiblePatchExitsOne) {
    FakeDcraw(test::kCopyRaw);
    EscribirTIFF(test::ConstantFrame(40, 30, 60000, 60000, 60000), photos_.file("a.dng"));
    const test::RunResult run = test::Run(
        kCli, {"--steps", "develop", "--wb", "patch:0.1,0.1,0.9,0.9", photos_.file("a.dng")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ERROR: Impossible to WB patch, some channel is very low"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Calls().size(), 1u);
}

class RealDcraw : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string data = test::SharedDataDir();
        const std::string chart = data.empty() ? "" : data + "/real/colorchart.dng";
        if (chart.empty() || !ExisteArchivo(chart)) {
            GTEST_SKIP() << "real camera data not available";
        }
        if (!BuscarDCRAW(RutaBusquedaDCRAW())) {
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
    const ResultadoRevelado neutral = ReveladoRapido(raw_, true, settings, channel);
    ASSERT_TRUE(neutral.terminado) << test::OnlyBox(channel);
    // dcraw reports an output of 1734 x 1156 for this file; the quick development halves both.
    EXPECT_EQ(neutral.tiff, dir_.file("chart one.tiff"));
    const Frame half = LeerTIFF(neutral.tiff);
    EXPECT_EQ(half.width, 867);
    EXPECT_EQ(half.height, 578);
    // The chart's fourth grey patch (a mid grey), as fractions of the developed picture.
    const ParcheWB patch{452.0 / 867, 456.0 / 578, 468.0 / 867, 472.0 / 578, true, true};
    ASSERT_EQ(CalcularWBPatch(raw_, patch, settings.wb, channel), 1);
    EXPECT_EQ(channel.log().back(), "DONE");

    // Green is the strongest raw channel under this light: it gets 1, the others more.
    const auto red = NumeroDeTexto(settings.wb.txtWB[0]);
    const auto blue = NumeroDeTexto(settings.wb.txtWB[2]);
    ASSERT_TRUE(red && blue);
    EXPECT_EQ(settings.wb.txtWB[1], "1");
    EXPECT_GT(*red, 1.0);
    EXPECT_GT(*blue, 1.0);

    // Developed again with the measured multipliers, the patch is grey within 2 %.
    settings.wb.mode = WBMode::kPatch;
    const ResultadoRevelado balanced = ReveladoRapido(raw_, false, settings, channel);
    ASSERT_TRUE(balanced.terminado);
    const auto [red_ratio, blue_ratio] = test::RedAndBlueOverGreen(LeerTIFF(balanced.tiff), patch);
    EXPECT_NEAR(red_ratio, 1.0, 0.02);
    EXPECT_NEAR(blue_ratio, 1.0, 0.02);
}

}  // namespace
}  // namespace brimsal
