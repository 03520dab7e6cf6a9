// The dcraw argument lists of the three jobs, the shown line, and finding dcraw on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

// The line of the common options (the list joined: an element with a blank would be quoted, so
// boundaries stay visible) for settings changed from the start values.
TEST(DcrawCommand, CommonOptionsInOrder) {
    const struct {
        std::function<void(DevelopSettings&)> change;
        bool quick, neutral;
        const char* line;
    } cases[] = {
        {[](DevelopSettings&) {}, true, false,
         "dcraw -v -4 -T -r 2.132483 1 1.480864 1 -q 3 -o 1 -t 0 -h"},
        // Camera: -w in place of the multipliers.
        {[](DevelopSettings& s) { s.wb.mode = WBMode::kCamera; }, false, false,
         "dcraw -v -4 -T -w -q 3 -o 1"},
        // Neutral: unity multipliers and raw colour whatever the mode and profile.
        {[](DevelopSettings& s) {
             s.wb.mode = WBMode::kCamera;
             s.profile = 4;
         },
         false, true, "dcraw -v -4 -T -r 1 1 1 1 -q 3 -o 0"},
        // Coefficients typed with a decimal comma reach dcraw with a point; green twice.
        {[](DevelopSettings& s) {
             s.wb.mode = WBMode::kCoeffs;
             s.wb.txtWB = {"2,1", "1", "1,5"};
         },
         false, false, "dcraw -v -4 -T -r 2.1 1 1.5 1 -q 3 -o 1"},
        // Saturation, demosaic, profile, then the user's options (a text never cleaned up still
        // gives no empty arguments).
        {[](DevelopSettings& s) {
             s.txtSat = "15299";
             s.quality = 0;
             s.profile = 5;
             s.txtDCRAW = "  -k   512 -n 100 ";
         },
         true, false,
         "dcraw -v -4 -T -r 2.132483 1 1.480864 1 -S 15299 -q 0 -o 5 -t 0 -h -k 512 -n 100"},
    };
    for (const auto& c : cases) {
        DevelopSettings settings = StartSettings();
        c.change(settings);
        EXPECT_EQ(LineaDCRAW("dcraw", ComandoDCRAW(settings, c.quick, c.neutral)), c.line);
    }
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

// Each job appends its paths (highlight recovery after the user's options); a folder with a
// blank stays one argument and is quoted when shown.
TEST(DcrawCommand, JobListsAppendTheirPaths) {
    DevelopSettings settings = StartSettings();
    settings.txtDCRAW = "-k 512";
    const std::string raw = "/home/me/my photos/IMG 1.cr2";
    const Lista common = ComandoDCRAW(settings, false, false);
    Lista batch = common;
    batch.insert(batch.end(), {"/p/a.cr2", raw});
    EXPECT_EQ(ArgumentosLote(settings, {"/p/a.cr2", raw}), batch);
    Lista hl = common;
    hl.insert(hl.end(), {"-H", "2", raw});
    EXPECT_EQ(ArgumentosHLRecovery(settings, raw), hl);
    Lista quick = ComandoDCRAW(settings, true, true);
    quick.push_back(raw);
    EXPECT_EQ(ArgumentosRapido(settings, true, raw), quick);
    const std::string line = LineaDCRAW("/opt/my tools/dcraw", quick);
    EXPECT_EQ(line.rfind("\"/opt/my tools/dcraw\" -v ", 0), 0u);
    EXPECT_EQ(line.substr(line.size() - raw.size() - 3), " \"" + raw + "\"");
    // dcraw's TIFF: the extension of the name replaced, not a point of the folder.
    EXPECT_EQ(RutaTIFFDe("/a.b/IMG_1.CR2"), "/a.b/IMG_1.tiff");
}

TEST(DcrawCommand, ReactionOnlyWhenTheLineChanges) {
    DevelopSettings settings = StartSettings();
    const std::string shown = LineaRapida(settings);
    // The same row chosen again: nothing is disabled, nothing developed again.
    const ReaccionRevelado same = ReaccionCambioRevelado(settings, shown, true, true);
    EXPECT_FALSE(same.cambio || same.deshabilitar || same.revelar_de_nuevo);
    settings.quality = 1;
    const ReaccionRevelado changed = ReaccionCambioRevelado(settings, shown, true, true);
    EXPECT_TRUE(changed.cambio && changed.deshabilitar && changed.revelar_de_nuevo);
    EXPECT_EQ(changed.linea, LineaRapida(settings));
    EXPECT_NE(changed.linea.find(" -q 1 "), std::string::npos);
    // txtDCRAW's reaction skips the disabling; nothing to develop without a displayed image.
    settings.txtDCRAW = "-k 512";
    const ReaccionRevelado user = ReaccionCambioRevelado(settings, shown, false, false);
    EXPECT_TRUE(user.cambio);
    EXPECT_FALSE(user.deshabilitar || user.revelar_de_nuevo);
}

TEST(DcrawLookup, FirstExecutableOnThePathWinsOrTheBoxNamesThePath) {
    test::TempDir first;
    test::TempDir second;
    auto executable = [](const std::string& path, bool yes) {
        test::Touch(path);
        ::chmod(path.c_str(), yes ? 0755 : 0644);
    };
    const std::string path = first.path() + "::" + second.path() + "/";
    EXPECT_FALSE(BuscarDCRAW(path).has_value());
    EXPECT_FALSE(BuscarDCRAW("").has_value());
    executable(first.file("dcraw"), false);  // not executable: skipped
    executable(second.file("dcraw"), true);
    EXPECT_EQ(BuscarDCRAW(path), second.file("dcraw"));
    executable(first.file("dcraw"), true);
    EXPECT_EQ(BuscarDCRAW(path), first.file("dcraw"));

    const char* saved = std::getenv("PATH");
    const std::string saved_path = saved != nullptr ? saved : "";
    setenv("PATH", second.path().c_str(), 1);
    std::remove(second.file("dcraw").c_str());
    RecorderChannel channel;
    EXPECT_FALSE(LocalizarDCRAW(channel).has_value());
    // Without dcraw the shown line starts with the bare program name.
    EXPECT_EQ(LineaRapida(StartSettings()).rfind("dcraw -v -4 -T ", 0), 0u);
    setenv("PATH", saved_path.c_str(), 1);
    EXPECT_EQ(test::OnlyBox(channel), "ERROR: DCRAW not found in '" + second.path() + "'");
    EXPECT_TRUE(channel.allLines().empty());
}

}  // namespace
}  // namespace brimsal
