// The development jobs against a stand-in dcraw placed first on PATH (a shell script that
// records its arguments and, depending on the case, copies the "RAW" file, a TIFF under a RAW
// name, to the TIFF dcraw would write, fails, crashes, writes nothing, or hangs), brimsal-cli's
// develop step on the same stand-in, and the jobs with the real dcraw on a real camera file.
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
const char* kFallo =
    "echo \"Loading $last ...\" >&2\n"
    "echo \"$(basename \"$last\"): Unexpected end of file\" >&2\nexit 1\n";
const char* kSinTIFF = "echo \"Writing data to somewhere ...\" >&2\nexit 0\n";
const char* kCaida = "kill -SEGV $$\n";
const char* kLento = "echo $$ > \"$calls/pid.$$\"\nprintf partial > \"$tiff\"\nexec sleep 60\n";

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
        FakeDcrawTest::SetUp();
        settings_.wb.txtWB = {"2.132483", "1", "1.480864"};
        // A long folder name with blanks: paths stay one argument, with no length limit.
        std::filesystem::create_directory(carpeta_);
    }

    // A stand-in RAW file: a small constant TIFF that the fake dcraw copies.
    void Raw(const std::string& name, uint16_t level) {
        EscribirTIFF(test::ConstantFrame(8, 6, level, level, level), Foto(name));
    }

    Session MakeSession(const Lista& names) {
        Session session;
        session.Ruta = Foto(names.front());
        session.ArchivosRAW = names;
        session.threads = 2;
        return session;
    }

    // The "RAW" files' folder.
    std::string Foto(const std::string& name) const { return carpeta_ + "/" + name; }

    test::TempDir photos_;
    const std::string carpeta_ = photos_.file(std::string(150, 'x') + " with blanks");
    DevelopSettings settings_;
};

TEST_F(DevelopJobs, MissingDcrawShowsTheBoxAndLeavesTheLog) {
    setenv("PATH", bin_.path().c_str(), 1);  // no dcraw there
    Raw("a.dng", 1000);
    Session session = MakeSession({"a.dng"});
    RecorderChannel channel;
    channel.AnadirLog("earlier line", false);
    EXPECT_FALSE(Revelado(session, settings_, channel).terminado);
    EXPECT_FALSE(ReveladoRapido(session.Ruta, false, settings_, channel).terminado);
    ASSERT_EQ(channel.boxes().size(), 2u);
    EXPECT_EQ(channel.boxes()[0].text, "DCRAW not found in '" + bin_.path() + "'");
    EXPECT_EQ(channel.log(), Lista{"earlier line"});
}

// A RAW file deleted after the listing is skipped, and its old TIFF (another development)
// stays on disk but out of the set.
TEST_F(DevelopJobs, BatchDevelopsEveryFileWithItsOwnProcessAndSkippedRawsOldTiffStaysOut) {
    FakeDcraw(kCopia);
    Raw("a.dng", 1000);
    Raw("b.dng", 2000);
    Raw("c.dng", 4000);
    std::filesystem::rename(Foto("b.dng"), Foto("b.tiff"));
    Session session = MakeSession({"a.dng", "b.dng", "c.dng"});
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_TRUE(result.terminado);
    EXPECT_EQ(result.NumArchivosRevelar, 2);
    EXPECT_TRUE(result.habilitar_ev);
    EXPECT_EQ(channel.log(), (Lista{"3 RAW files selected in path", "file b.dng not found. Skipped",
                                    "2 RAW files found now", "\nDeveloping 2 RAW files...",
                                    "PLEASE WAIT", "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(LeerTIFF(Foto("c.tiff")).pixels.front(), 4000);
    EXPECT_EQ(LeerTIFF(Foto("b.tiff")).pixels.front(), 2000);
    EXPECT_EQ(session.ArchivosRAW, (Lista{"a.dng", "c.dng"}));
    // One process per file, each given the batch options and its one path.
    Lista expected_a = ComandoDCRAW(settings_, false, false);
    Lista expected_c = expected_a;
    expected_a.push_back(Foto("a.dng"));
    expected_c.push_back(Foto("c.dng"));
    std::vector<Lista> calls = Calls();
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<Lista>{expected_a, expected_c}));
    // The quick line is shown again at the end.
    EXPECT_EQ(channel.dcrawLine(), LineaRapida(settings_));
}

TEST_F(DevelopJobs, FilesRunSideBySideAndALastShortRoundJoinsTheOneBefore) {
    // Each stand-in waits until three of them have started: two at a time with the third after
    // them, the first two would give up and fail.
    FakeDcraw(R"sh(touch "$calls/started.$$"
n=0
while [ "$(ls "$calls" | grep -c '^started')" -lt 3 ]; do
  n=$((n+1)); [ $n -gt 400 ] && exit 3; sleep 0.05
done
)sh" + std::string(kCopia));
    Raw("a.dng", 1000);
    Raw("b.dng", 2000);
    Raw("c.dng", 3000);
    Session session = MakeSession({"a.dng", "b.dng", "c.dng"});
    session.threads = 2;
    RecorderChannel channel;
    EXPECT_TRUE(Revelado(session, settings_, channel).terminado);
    for (const char* tiff : {"a.tiff", "b.tiff", "c.tiff"}) {
        EXPECT_TRUE(ExisteArchivo(Foto(tiff))) << tiff;
    }
}

TEST_F(DevelopJobs, NoFileLeftToDevelop) {
    FakeDcraw(kCopia);
    Session session = MakeSession({"a.dng", "b.dng"});  // neither exists
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_FALSE(result.terminado);
    EXPECT_EQ(channel.log(), (Lista{"2 RAW files selected in path", "file a.dng not found. Skipped",
                                    "file b.dng not found. Skipped", "0 RAW files found now",
                                    "Not files to develop", "\nDONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DevelopJobs, FailedRunsAreReported) {
    struct Case {
        const char* body;   // the stand-in's script after the preamble
        bool rapido;        // run as the quick job instead of the batch
        std::string linea;  // the log line, or its start when `exacta` is false
        bool exacta;
        std::string caja;  // the box text, "" when only its presence is checked
    };
    const Case cases[] = {
        {kFallo, false,
         "Error developing a.dng (dcraw ended with exit code 1): a.dng: Unexpected end of file",
         true,
         "DCRAW could not develop a.dng: dcraw ended with exit code 1\na.dng: Unexpected end "
         "of file"},
        {kSinTIFF, false,
         "Error developing a.dng (dcraw wrote no TIFF): Writing data to somewhere ...", true, ""},
        {kCaida, true, "Error developing a.dng (dcraw crashed)", true, ""},
        {"", false, "Error developing a.dng (dcraw could not be started", false, ""},
    };
    Raw("a.dng", 1000);
    for (const Case& c : cases) {
        if (*c.body != '\0') {
            FakeDcraw(c.body);
        } else {
            std::ofstream(bin_.file("dcraw")) << "#!/nonexistent/interpreter\n";
            ::chmod(bin_.file("dcraw").c_str(), 0755);
        }
        // A TIFF left by an earlier development is deleted first and never passes for this one.
        test::Touch(Foto("a.tiff"));
        Session session = MakeSession({"a.dng"});
        RecorderChannel channel;
        const ResultadoRevelado result =
            c.rapido ? ReveladoRapido(session.Ruta, false, settings_, channel)
                     : Revelado(session, settings_, channel);
        EXPECT_FALSE(result.terminado) << c.linea;
        const Lista log = channel.log();
        ASSERT_GE(log.size(), 2u);
        if (c.exacta) {
            EXPECT_EQ(log[log.size() - 2], c.linea);
        } else {
            EXPECT_EQ(log[log.size() - 2].rfind(c.linea, 0), 0u) << log[log.size() - 2];
        }
        EXPECT_EQ(log.back(), "DONE");
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_EQ(channel.boxes()[0].title, "ERROR");
        if (!c.caja.empty()) {
            EXPECT_EQ(channel.boxes()[0].text, c.caja);
        }
        EXPECT_EQ(channel.beeps(), 0);
        EXPECT_FALSE(ExisteArchivo(Foto("a.tiff")));
    }
}

TEST_F(DevelopJobs, OneFailingFileEndsTheBatch) {
    FakeDcraw(std::string("case \"$last\" in *b.dng) ") +
              "echo 'b.dng: Cannot decode file' >&2; exit 1;; esac\n" + kCopia);
    Raw("a.dng", 1000);
    Raw("b.dng", 2000);
    Raw("c.dng", 3000);
    Session session = MakeSession({"a.dng", "b.dng", "c.dng"});
    session.threads = 1;
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings_, channel);
    EXPECT_FALSE(result.terminado);
    EXPECT_FALSE(result.habilitar_ev);
    EXPECT_TRUE(channel.logContains(
        "Error developing b.dng (dcraw ended with exit code 1): b.dng: Cannot decode file"));
    EXPECT_TRUE(ExisteArchivo(Foto("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Foto("c.tiff")));  // never started
    EXPECT_EQ(Calls().size(), 2u);
}

// Both stand-ins hang, so the cancel comes only once the two files develop side by side.
TEST_F(DevelopJobs, CancelKillsEveryProcessAndRemovesPartialTiffs) {
    FakeDcraw(kLento);
    Raw("a.dng", 1000);
    Raw("b.dng", 2000);
    Session session = MakeSession({"a.dng", "b.dng"});
    CancelarCuandoExistan channel({Foto("a.tiff"), Foto("b.tiff")});
    EXPECT_THROW(Revelado(session, settings_, channel), Cancelled);
    EXPECT_FALSE(ExisteArchivo(Foto("a.tiff")));
    EXPECT_FALSE(ExisteArchivo(Foto("b.tiff")));
    const std::vector<Lista> pids = Recorded("pid.");
    EXPECT_EQ(pids.size(), 2u);
    for (const Lista& lines : pids) {
        ASSERT_EQ(lines.size(), 1u);
        const std::string& pid = lines[0];
        errno = 0;
        EXPECT_EQ(::kill(std::stoi(pid), 0), -1) << "process " << pid << " still runs";
        EXPECT_EQ(errno, ESRCH);
    }
    EXPECT_TRUE(channel.boxes().empty());
}

TEST_F(DevelopJobs, QuickDevelopments) {
    FakeDcraw(kCopia);
    Raw("a.dng", 1000);
    RecorderChannel channel;
    channel.MostrarLineaDCRAW("shown before");
    const ResultadoRevelado result = ReveladoRapido(Foto("a.dng"), true, settings_, channel);
    EXPECT_TRUE(result.terminado);
    EXPECT_EQ(result.tiff, Foto("a.tiff"));
    EXPECT_EQ(channel.log(),
              (Lista{"Quick developing a.dng...", "a.dng neutral developed", "DONE"}));
    EXPECT_EQ(channel.dcrawLine(), "shown before");  // the neutral line is not shown
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0], ArgumentosRapido(settings_, true, Foto("a.dng")));

    // A RAW file that is gone: two lines appended, no process.
    EXPECT_FALSE(ReveladoRapido(Foto("gone.dng"), true, settings_, channel).terminado);
    EXPECT_EQ(channel.log(), (Lista{"Quick developing a.dng...", "a.dng neutral developed", "DONE",
                                    "gone.dng not found.", "DONE"}));
    EXPECT_EQ(Calls().size(), 1u);

    // The display development shows its line, and the end of the display its log lines.
    RecorderChannel display;
    EXPECT_TRUE(ReveladoRapido(Foto("a.dng"), false, settings_, display).terminado);
    EXPECT_EQ(display.dcrawLine(), LineaRapida(settings_));
    RapidoMostrado(Foto("a.dng"), display);
    EXPECT_EQ(display.log(),
              (Lista{"Quick developing a.dng...", "a.dng developed and displayed", "DONE"}));
    EXPECT_EQ(display.beeps(), 1);
}

TEST_F(DevelopJobs, HighlightRecoveryRedevelopsTheDarkestFrame) {
    FakeDcraw(kCopia);
    Raw("a.dng", 30000);
    Raw("b.dng", 1000);  // the darkest, in the middle of the names
    Raw("c.dng", 8000);
    Session session = MakeSession({"a.dng", "b.dng", "c.dng"});
    DevelopSettings settings = settings_;
    settings.hlRecovery = true;
    RecorderChannel channel;
    const ResultadoRevelado result = Revelado(session, settings, channel);
    EXPECT_TRUE(result.terminado);
    EXPECT_TRUE(result.habilitar_ev);
    EXPECT_EQ(session.set.TIFFMasOscuro, Foto("b.tiff"));
    EXPECT_FALSE(session.set.TIFFsCargados);

    const Lista all = channel.allLines();
    const auto waiting = std::find(all.begin(), all.end(), "Waiting to save last TIFF...");
    ASSERT_NE(waiting, all.end());
    EXPECT_EQ(*(waiting + 1), "\nDONE");
    const Lista log = channel.log();  // restarted by the load of the set
    EXPECT_EQ(log.front(), "Loading 3 TIFF files...");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "\nHighlight recovery on b.dng...");
    EXPECT_EQ(log.back(), "DONE");
    EXPECT_EQ(channel.beeps(), 1);

    int hl_calls = 0;
    for (const Lista& call : Calls()) {
        if (std::find(call.begin(), call.end(), "-H") != call.end()) {
            ++hl_calls;
            EXPECT_EQ(call, ArgumentosHLRecovery(settings, Foto("b.dng")));
        }
    }
    EXPECT_EQ(hl_calls, 1);
    EXPECT_EQ(Calls().size(), 4u);
    EXPECT_TRUE(ExisteArchivo(Foto("b.tiff")));
}

TEST_F(DevelopJobs, OneFileDoesNotEnableCalcEvNorHighlightRecovery) {
    FakeDcraw(kCopia);
    Raw("a.dng", 1000);
    Session session = MakeSession({"a.dng"});
    RecorderChannel channel;
    const ResultadoRevelado plain = Revelado(session, settings_, channel);
    EXPECT_TRUE(plain.terminado);
    EXPECT_FALSE(plain.habilitar_ev);
    // With "HL" only one TIFF loads: the run ends without the second development.
    DevelopSettings settings = settings_;
    settings.hlRecovery = true;
    const ResultadoRevelado hl = Revelado(session, settings, channel);
    EXPECT_FALSE(hl.terminado);
    EXPECT_FALSE(hl.habilitar_ev);
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

// The chart's fourth grey patch (a mid grey), as fractions of the developed picture.
ParcheWB MidGreyPatch() {
    ParcheWB patch;
    patch.ParcheX1 = 452.0 / 867;
    patch.ParcheY1 = 456.0 / 578;
    patch.ParcheX2 = 468.0 / 867;
    patch.ParcheY2 = 472.0 / 578;
    patch.ParcheDefinido = true;
    return patch;
}

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
    const ParcheWB patch = MidGreyPatch();
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
