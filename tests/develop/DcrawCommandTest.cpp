// The RAW set of a reference (same extension, sorted, at most ten, the tenth as reference), the
// dcraw argument lists of the jobs, the shown line, and finding dcraw on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/RecorderChannel.h"
#include "develop/DcrawCommand.h"
#include "develop/RawFileSet.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

std::string Name(int i, const std::string& extension) {
    return std::string("IMG_") + (i < 10 ? "0" : "") + std::to_string(i) + "." + extension;
}

// Names first..last with one extension.
Lista Names(int first, int last, const std::string& extension) {
    Lista names;
    for (int i = first; i <= last; ++i) {
        names.push_back(Name(i, extension));
    }
    return names;
}

TEST(RawFileSet, ListingCases) {
    struct Case {
        Lista files;
        std::string reference;
        Lista set;  // expected
        std::string reference_after;
        bool box;
    };
    Lista nef_and_cr2 = Names(1, 3, "nef");
    for (const std::string& name : Names(4, 7, "cr2")) {
        nef_and_cr2.push_back(name);
    }
    const Case cases[] = {
        // Only the reference's extension counts: 3 of 7.
        {nef_and_cr2, Name(2, "nef"), Names(1, 3, "nef"), Name(2, "nef"), false},
        // 12 files: the first 10, the tenth becomes the reference, the box.
        {Names(1, 12, "cr2"), Name(12, "cr2"), Names(1, 10, "cr2"), Name(10, "cr2"), true},
        // Exactly 10: all of them, the reference stays, no box.
        {Names(1, 10, "dng"), Name(3, "dng"), Names(1, 10, "dng"), Name(3, "dng"), false},
        // The extension's case is ignored; another system's companion files ("._") and folders
        // ("c.cr2/") are left out.
        {{"a.CR2", "b.cr2", "._b.cr2", "c.cr2/"}, "b.cr2", {"a.CR2", "b.cr2"}, "b.cr2", false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        // Created last to first: the listing sorts by name.
        for (auto name = c.files.rbegin(); name != c.files.rend(); ++name) {
            if (name->ends_with("/")) {
                std::filesystem::create_directory(dir.file(*name));
            } else {
                test::Touch(dir.file(*name));
            }
        }
        std::string ruta = dir.file(c.reference);
        Lista set;
        RecorderChannel channel;
        ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
        EXPECT_EQ(set, c.set);
        EXPECT_EQ(ruta, dir.file(c.reference_after));
        EXPECT_EQ(channel.log(),
                  Lista{std::to_string(c.set.size()) + " RAW files selected in path"});
        EXPECT_EQ(test::OnlyBox(channel),
                  c.box ? "ERROR: No more than 10 RAW files allowed.  Only the current 10 files "
                          "are selected"
                        : "<0 boxes>");
    }
}

TEST(RawFileSet, ANewSmallerListingShrinksTheSet) {
    test::TempDir big;
    test::TempDir small;
    for (const std::string& name : Names(1, 6, "orf")) {
        test::Touch(big.file(name));
    }
    test::Touch(small.file(Name(1, "orf")));
    test::Touch(small.file(Name(2, "orf")));
    Lista set;
    RecorderChannel channel;
    std::string ruta = big.file(Name(1, "orf"));
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    ruta = small.file(Name(2, "orf"));
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set, Names(1, 2, "orf"));
}

// Developing deletes name.tiff beside each RAW file first: a TIFF given as the reference, two
// names one TIFF apart, or a name dcraw would be handed mangled must stop at the listing, with
// every file left as it was.
TEST(RawFileSet, TiffGivenAsReferenceOrCaseTwinsOrNonUtf8NamesAreRefused) {
    struct Case {
        Lista files;
        std::string reference;
        std::string cause;  // expected start of the error
    };
    const Case cases[] = {
        {{"IMG_0001.tiff", "IMG_0002.tiff"}, "IMG_0001.tiff", "'IMG_0001.tiff' is a TIFF file"},
        {{"IMG_0001.TIF"}, "IMG_0001.TIF", "'IMG_0001.TIF' is a TIFF file"},
        {{"IMG_0001.dng", "IMG_0002.DNG", "IMG_0002.dng"},
         "IMG_0001.dng",
         "'IMG_0002.DNG' and 'IMG_0002.dng' differ only in letter case"},
        {{"IMG_0001.dng", "IMG_\xE9.dng"}, "IMG_0001.dng", "The file name 'IMG_\\xE9.dng'"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        for (const std::string& name : c.files) {
            test::WriteBytes(dir.file(name), {1, 2, 3});
        }
        std::string ruta = dir.file(c.reference);
        Lista set = {"old.cr2"};
        RecorderChannel channel;
        EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel)) << c.cause;
        EXPECT_EQ(set, Lista{"old.cr2"});
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_EQ(channel.boxes()[0].text.rfind(c.cause, 0), 0u) << channel.boxes()[0].text;
        EXPECT_EQ(channel.log(), (Lista{channel.boxes()[0].text, "DONE"}));
        for (const std::string& name : c.files) {
            EXPECT_EQ(std::filesystem::file_size(dir.file(name)), 3u) << name;
        }
    }
}

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

// A folder with a blank stays one argument and is quoted when shown; dcraw's TIFF replaces the
// extension of the name, not a point of the folder.
TEST(DcrawCommand, ShownLineQuotesBlanksAndTiffNameKeepsTheFolder) {
    const std::string raw = "/home/me/my photos/IMG 1.cr2";
    const std::string line =
        LineaDCRAW("/opt/my tools/dcraw", ArgumentosRapido(StartSettings(), true, raw));
    EXPECT_EQ(line.rfind("\"/opt/my tools/dcraw\" -v ", 0), 0u);
    EXPECT_EQ(line.substr(line.size() - raw.size() - 3), " \"" + raw + "\"");
    EXPECT_EQ(RutaTIFFDe("/a.b/IMG_1.CR2"), "/a.b/IMG_1.tiff");
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
