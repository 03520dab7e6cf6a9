// The RAW set of a reference: same extension, sorted, at most ten, the tenth as reference.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/RecorderChannel.h"
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

TEST(RawFileSet, ReferenceWithoutExtensionIsReported) {
    test::TempDir dir;
    test::Touch(dir.file("IMG_0001"));
    std::string ruta = dir.file("IMG_0001");
    Lista set = {"old.cr2"};
    RecorderChannel channel;
    EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(test::OnlyBox(channel).rfind(
                  "ERROR: Unexpected error occurred in module LeerArchivosRAW", 0),
              0u);
    EXPECT_EQ(channel.log(), Lista{"An unexpected error occurred"});
}

}  // namespace
}  // namespace brimsal
