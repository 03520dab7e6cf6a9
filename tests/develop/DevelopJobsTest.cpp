// The development jobs against a stand-in dcraw placed first on PATH: a shell script that
// records its arguments and, depending on the case, copies the "RAW" file (a TIFF under a RAW
// name) to the TIFF dcraw would write, fails, crashes, writes nothing, or hangs.
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
#include "develop/DcrawCommand.h"
#include "develop/DcrawProcess.h"
#include "develop/DevelopJobs.h"
#include "develop/FakeDcraw.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

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

TEST_F(DevelopJobs, FilesRunSideBySide) {
    // Each stand-in waits until two of them have started: run one after the other, the first
    // would give up and fail.
    FakeDcraw(R"sh(touch "$calls/started.$$"
n=0
while [ "$(ls "$calls" | grep -c '^started')" -lt 2 ]; do
  n=$((n+1)); [ $n -gt 400 ] && exit 3; sleep 0.05
done
)sh" + std::string(kCopia));
    Raw("a.dng", 1000);
    Raw("b.dng", 2000);
    Session session = MakeSession({"a.dng", "b.dng"});
    RecorderChannel channel;
    EXPECT_TRUE(Revelado(session, settings_, channel).terminado);
    EXPECT_TRUE(ExisteArchivo(Foto("a.tiff")));
    EXPECT_TRUE(ExisteArchivo(Foto("b.tiff")));
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

}  // namespace
}  // namespace brimsal
