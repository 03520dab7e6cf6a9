// The dcraw argument lists of the three jobs, the shown line, and finding dcraw on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/RecorderChannel.h"
#include "develop/DcrawCommand.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

// The start values with point texts whatever the test process's locale.
DevelopSettings StartSettings() {
    DevelopSettings settings;
    settings.wb.txtWB = {"2.132483", "1", "1.480864"};
    return settings;
}

TEST(DcrawCommand, StartValuesQuickLine) {
    const Lista expected = {"-v", "-4", "-T", "-r", "2.132483", "1", "1.480864", "1",
                            "-q", "3",  "-o", "1",  "-t",       "0", "-h"};
    EXPECT_EQ(ComandoDCRAW(StartSettings(), true, false), expected);
    EXPECT_EQ(LineaDCRAW("/usr/bin/dcraw", expected),
              "/usr/bin/dcraw -v -4 -T -r 2.132483 1 1.480864 1 -q 3 -o 1 -t 0 -h");
}

TEST(DcrawCommand, WhiteBalancePieceByMode) {
    // The list joined (an element with a blank would be quoted, so boundaries stay visible).
    auto line = [](WBMode mode, std::array<std::string, 3> txtWB, int profile, bool neutro) {
        DevelopSettings settings = StartSettings();
        settings.wb.mode = mode;
        settings.wb.txtWB = std::move(txtWB);
        settings.profile = profile;
        return LineaDCRAW("dcraw", ComandoDCRAW(settings, false, neutro));
    };
    // Camera: -w in place of the multipliers.
    EXPECT_EQ(line(WBMode::kCamera, {"2", "1", "2"}, 1, false), "dcraw -v -4 -T -w -q 3 -o 1");
    // Neutral: unity multipliers and raw colour whatever the mode and profile.
    EXPECT_EQ(line(WBMode::kCamera, {"2", "1", "2"}, 4, true),
              "dcraw -v -4 -T -r 1 1 1 1 -q 3 -o 0");
    // Coefficients typed with a decimal comma reach dcraw with a point; green twice.
    EXPECT_EQ(line(WBMode::kCoeffs, {"2,1", "1", "1,5"}, 1, false),
              "dcraw -v -4 -T -r 2.1 1 1.5 1 -q 3 -o 1");
}

TEST(DcrawCommand, HeadroomAddsHOneAfterTheMultipliersOfEveryJob) {
    DevelopSettings settings = StartSettings();
    settings.headroom = true;
    settings.txtDCRAW = "-k 512";
    EXPECT_EQ(LineaDCRAW("dcraw", ArgumentosRapido(settings, false, "a.dng")),
              "dcraw -v -4 -T -r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -t 0 -h -k 512 a.dng");
    EXPECT_EQ(LineaDCRAW("dcraw", ArgumentosRapido(settings, true, "a.dng")),
              "dcraw -v -4 -T -r 1 1 1 1 -H 1 -q 3 -o 0 -t 0 -h -k 512 a.dng");
    // Highlight recovery's -H 2 comes later and wins; it divides by the largest as well.
    EXPECT_EQ(LineaDCRAW("dcraw", ArgumentosHLRecovery(settings, "a.dng")),
              "dcraw -v -4 -T -r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -k 512 -H 2 a.dng");
    // The camera's multipliers are not known beforehand: no headroom there.
    settings.wb.mode = WBMode::kCamera;
    EXPECT_EQ(LineaDCRAW("dcraw", ArgumentosLote(settings, {"a.dng"})),
              "dcraw -v -4 -T -w -q 3 -o 1 -k 512 a.dng");
    EXPECT_FALSE(DevelopScaleOf(settings).headroom);
}

TEST(DcrawCommand, SaturationDemosaicProfileAndUserOptionsInOrder) {
    DevelopSettings settings = StartSettings();
    settings.txtSat = "15299";
    settings.quality = 0;
    settings.profile = 5;
    settings.txtDCRAW = "-k 512 -n 100";
    const Lista expected = {"-v", "-4", "-T",    "-r", "2.132483", "1",  "1.480864",
                            "1",  "-S", "15299", "-q", "0",        "-o", "5",
                            "-t", "0",  "-h",    "-k", "512",      "-n", "100"};
    EXPECT_EQ(ComandoDCRAW(settings, true, false), expected);
    // A text that was never cleaned up still gives no empty arguments.
    settings.txtDCRAW = "  -k   512 ";
    const Lista lista = ComandoDCRAW(settings, false, false);
    EXPECT_EQ(Lista(lista.end() - 2, lista.end()), (Lista{"-k", "512"}));
}

TEST(DcrawCommand, JobListsAppendTheirPaths) {
    DevelopSettings settings = StartSettings();
    settings.txtDCRAW = "-k 512";
    const Lista common = ComandoDCRAW(settings, false, false);

    Lista batch = common;
    batch.insert(batch.end(), {"/p/a.cr2", "/p/b.cr2"});
    EXPECT_EQ(ArgumentosLote(settings, {"/p/a.cr2", "/p/b.cr2"}), batch);

    Lista hl = common;
    hl.insert(hl.end(), {"-H", "2", "/p/a.cr2"});  // after the user's options
    EXPECT_EQ(ArgumentosHLRecovery(settings, "/p/a.cr2"), hl);

    Lista quick = ComandoDCRAW(settings, true, true);
    quick.push_back("/p/a.cr2");
    EXPECT_EQ(ArgumentosRapido(settings, true, "/p/a.cr2"), quick);

    // dcraw's TIFF: the extension of the name replaced, not a point of the folder.
    EXPECT_EQ(RutaTIFFDe("/a.b/IMG_1.CR2"), "/a.b/IMG_1.tiff");
}

TEST(DcrawCommand, FolderWithABlankStaysOneArgumentAndIsQuotedWhenShown) {
    const DevelopSettings settings = StartSettings();
    const std::string raw = "/home/me/my photos/IMG 1.cr2";
    for (const Lista& lista :
         {ArgumentosRapido(settings, false, raw), ArgumentosLote(settings, {raw}),
          ArgumentosHLRecovery(settings, raw)}) {
        EXPECT_EQ(lista.back(), raw);
        const std::string linea = LineaDCRAW("/usr/bin/dcraw", lista);
        EXPECT_EQ(linea.substr(linea.size() - raw.size() - 3), " \"" + raw + "\"");
    }
    EXPECT_EQ(LineaDCRAW("/opt/my tools/dcraw", {"-v"}), "\"/opt/my tools/dcraw\" -v");
}

TEST(DcrawCommand, ReactionOnlyWhenTheLineChanges) {
    DevelopSettings settings = StartSettings();
    const std::string shown = LineaRapida(settings);
    // The same row chosen again: nothing is disabled, nothing developed again.
    const ReaccionRevelado same = ReaccionCambioRevelado(settings, shown, true, true);
    EXPECT_FALSE(same.cambio);
    EXPECT_FALSE(same.deshabilitar);
    EXPECT_FALSE(same.revelar_de_nuevo);

    settings.quality = 1;
    const ReaccionRevelado changed = ReaccionCambioRevelado(settings, shown, true, true);
    EXPECT_TRUE(changed.cambio);
    EXPECT_TRUE(changed.deshabilitar);
    EXPECT_TRUE(changed.revelar_de_nuevo);
    EXPECT_EQ(changed.linea, LineaRapida(settings));
    EXPECT_NE(changed.linea.find(" -q 1 "), std::string::npos);

    // txtDCRAW's reaction skips the disabling; nothing to develop without a displayed image.
    settings.txtDCRAW = "-k 512";
    const ReaccionRevelado user = ReaccionCambioRevelado(settings, shown, false, false);
    EXPECT_TRUE(user.cambio);
    EXPECT_FALSE(user.deshabilitar);
    EXPECT_FALSE(user.revelar_de_nuevo);
}

class DcrawLookup : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        saved_ = path != nullptr ? path : "";
    }
    void TearDown() override { setenv("PATH", saved_.c_str(), 1); }

    static void Executable(const std::string& path, bool executable) {
        test::Touch(path);
        ::chmod(path.c_str(), executable ? 0755 : 0644);
    }

    std::string saved_;
    test::TempDir first_;
    test::TempDir second_;
};

TEST_F(DcrawLookup, FirstExecutableOnThePathWins) {
    Executable(first_.file("dcraw"), false);  // not executable: skipped
    Executable(second_.file("dcraw"), true);
    const std::string path = first_.path() + "::" + second_.path() + "/";
    EXPECT_EQ(BuscarDCRAW(path), second_.file("dcraw"));
    Executable(first_.file("dcraw"), true);
    EXPECT_EQ(BuscarDCRAW(path), first_.file("dcraw"));
}

TEST_F(DcrawLookup, MissingDcrawNamesThePathSearched) {
    const std::string path = first_.path() + ":" + second_.path();
    EXPECT_FALSE(BuscarDCRAW(path).has_value());
    EXPECT_FALSE(BuscarDCRAW("").has_value());
    setenv("PATH", path.c_str(), 1);
    RecorderChannel channel;
    EXPECT_FALSE(LocalizarDCRAW(channel).has_value());
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].title, "ERROR");
    EXPECT_EQ(channel.boxes()[0].text, "DCRAW not found in '" + path + "'");
    EXPECT_TRUE(channel.allLines().empty());
    // Without dcraw the shown line starts with the bare program name.
    EXPECT_EQ(LineaRapida(StartSettings()).rfind("dcraw -v -4 -T ", 0), 0u);
}

}  // namespace
}  // namespace brimsal
