// The RAW set of a reference (same extension, sorted, at most ten, the tenth as reference), the
// dcraw argument lists of the jobs, the shown line, and finding dcraw on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/RecorderChannel.h"
#include "develop/DcrawCommand.h"
#include "develop/RawFileSet.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lista = std::vector<std::string>;

// IMG_01.extension .. IMG_last.extension from `first`.
Lista Names(int first, int last, const std::string& extension) {
    Lista names;
    for (int i = first; i <= last; ++i) {
        names.push_back(std::string("IMG_") + (i < 10 ? "0" : "") + std::to_string(i) + "." +
                        extension);
    }
    return names;
}

// Each listing replaces whatever set the session held before.
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
        {nef_and_cr2, "IMG_02.nef", Names(1, 3, "nef"), "IMG_02.nef", false},
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
        Lista set = Names(1, 12, "old");
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

// Developing deletes name.tiff beside each RAW file first: a TIFF given as the reference, two
// names one TIFF apart, or a name or folder dcraw would be handed mangled must stop at the
// listing, with every file left as it was.
TEST(RawFileSet, TiffGivenAsReferenceOrCaseTwinsOrNonUtf8NamesAreRefused) {
    struct Case {
        Lista files;
        std::string reference;
        std::string cause;  // expected part of the error
    };
    const Case cases[] = {
        {{"IMG_0001.tiff", "IMG_0002.tiff"}, "IMG_0001.tiff", "'IMG_0001.tiff' is a TIFF file"},
        {{"IMG_0001.TIF"}, "IMG_0001.TIF", "'IMG_0001.TIF' is a TIFF file"},
        {{"IMG_0001.dng", "IMG_0002.DNG", "IMG_0002.dng"},
         "IMG_0001.dng",
         "'IMG_0002.DNG' and 'IMG_0002.dng' differ only in letter case"},
        {{"IMG_0001.dng", "IMG_\xE9.dng"}, "IMG_0001.dng", "The file name 'IMG_\\xE9.dng'"},
        {{"\xFF/IMG_0001.dng"}, "\xFF/IMG_0001.dng", "\\xFF/IMG_0001.dng' is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        for (const std::string& name : c.files) {
            std::filesystem::create_directories(
                std::filesystem::path(dir.file(name)).parent_path());
            test::WriteBytes(dir.file(name), {1, 2, 3});
        }
        std::string ruta = dir.file(c.reference);
        Lista set = {"old.cr2"};
        RecorderChannel channel;
        EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel)) << c.cause;
        EXPECT_EQ(set, Lista{"old.cr2"});
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_NE(channel.boxes()[0].text.find(c.cause), std::string::npos)
            << channel.boxes()[0].text;
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

// The shown line of each job (the list joined: an element with a blank is quoted, so boundaries
// stay visible) as the settings change one after another from the start values.
TEST(DcrawCommand, OptionsOfEveryJobInOrder) {
    const std::string raw = "/my photos/a.dng";
    const std::string quoted_raw = " \"" + raw + "\"";
    const auto line = [](const Lista& arguments) {
        const std::string shown = LineaDCRAW("dcraw", arguments);
        EXPECT_EQ(shown.rfind("dcraw -v -4 -T ", 0), 0u) << shown;
        return shown.substr(15);
    };
    DevelopSettings s = StartSettings();
    EXPECT_EQ(line(ArgumentosRapido(s, false, raw)),
              "-r 2.132483 1 1.480864 1 -q 3 -o 1 -t 0 -h" + quoted_raw);
    // Headroom adds -H 1 after the multipliers of every job; highlight recovery's -H 2 comes
    // later and wins (it divides by the largest as well).
    s.headroom = true;
    s.txtDCRAW = "-k 512";
    EXPECT_EQ(line(ArgumentosRapido(s, false, raw)),
              "-r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -t 0 -h -k 512" + quoted_raw);
    EXPECT_EQ(line(ArgumentosRapido(s, true, raw)),
              "-r 1 1 1 1 -H 1 -q 3 -o 0 -t 0 -h -k 512" + quoted_raw);
    EXPECT_EQ(line(ArgumentosHLRecovery(s, raw)),
              "-r 2.132483 1 1.480864 1 -H 1 -q 3 -o 1 -k 512 -H 2" + quoted_raw);
    // Camera: -w in place of the multipliers, and no headroom (its multipliers are not known
    // beforehand); neutral: unity multipliers and raw colour whatever the mode and profile.
    s.wb.mode = WBMode::kCamera;
    s.profile = 4;
    EXPECT_EQ(line(ArgumentosLote(s, {raw})), "-w -q 3 -o 4 -k 512" + quoted_raw);
    EXPECT_EQ(line(ArgumentosRapido(s, true, raw)),
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
    EXPECT_EQ(LineaDCRAW("/opt/my tools/dcraw", {"-v"}), "\"/opt/my tools/dcraw\" -v");
    // dcraw's TIFF replaces the extension of the name, not a point of the folder.
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
