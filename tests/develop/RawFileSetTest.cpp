// The RAW set of a reference: same extension, sorted, at most ten, the tenth as reference.
#include <gtest/gtest.h>

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
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        // Created last to first: the listing sorts by name.
        for (auto name = c.files.rbegin(); name != c.files.rend(); ++name) {
            test::Touch(dir.file(*name));
        }
        std::string ruta = dir.file(c.reference);
        Lista set;
        RecorderChannel channel;
        ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
        EXPECT_EQ(set, c.set);
        EXPECT_EQ(ruta, dir.file(c.reference_after));
        EXPECT_EQ(channel.log(),
                  Lista{std::to_string(c.set.size()) + " RAW files selected in path"});
        if (c.box) {
            ASSERT_EQ(channel.boxes().size(), 1u);
            EXPECT_EQ(channel.boxes()[0].title, "ERROR");
            EXPECT_EQ(channel.boxes()[0].text,
                      "No more than 10 RAW files allowed.  Only the current 10 files are selected");
        } else {
            EXPECT_TRUE(channel.boxes().empty());
        }
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

TEST(RawFileSet, ExtensionCaseIgnoredHiddenFilesAndFoldersLeftOut) {
    test::TempDir dir;
    test::Touch(dir.file("a.CR2"));
    test::Touch(dir.file("b.cr2"));
    test::Touch(dir.file("._b.cr2"));  // another system's companion file
    std::filesystem::create_directory(dir.file("c.cr2"));
    std::string ruta = dir.file("b.cr2");
    Lista set;
    RecorderChannel channel;
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set, (Lista{"a.CR2", "b.cr2"}));
}

TEST(RawFileSet, ReferenceWithoutExtensionIsReported) {
    test::TempDir dir;
    test::Touch(dir.file("IMG_0001"));
    std::string ruta = dir.file("IMG_0001");
    Lista set = {"old.cr2"};
    RecorderChannel channel;
    EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(
        channel.boxes()[0].text.rfind("Unexpected error occurred in module LeerArchivosRAW", 0),
        0u);
    EXPECT_EQ(channel.log(), Lista{"An unexpected error occurred"});
}

}  // namespace
}  // namespace brimsal
