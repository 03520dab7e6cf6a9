// The RAW set of a reference: same extension, sorted, at most ten, the tenth as reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RecorderChannel.h"
#include "develop/RawFileSet.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

std::string Name(int i, const std::string& extension) {
    return std::string("IMG_") + (i < 10 ? "0" : "") + std::to_string(i) + "." + extension;
}

const std::string kLimitBox =
    "No more than 10 RAW files allowed.  Only the current 10 files are selected";

TEST(RawFileSet, OnlyTheReferenceExtensionCounts) {
    test::TempDir dir;
    for (int i = 1; i <= 3; ++i) {
        test::Touch(dir.file(Name(i, "nef")));
    }
    for (int i = 4; i <= 7; ++i) {
        test::Touch(dir.file(Name(i, "cr2")));
    }
    std::string ruta = dir.file(Name(2, "nef"));
    std::vector<std::string> set;
    RecorderChannel channel;
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set, (std::vector<std::string>{Name(1, "nef"), Name(2, "nef"), Name(3, "nef")}));
    EXPECT_EQ(channel.log(), std::vector<std::string>{"3 RAW files selected in path"});
    EXPECT_TRUE(channel.boxes().empty());
    EXPECT_EQ(ruta, dir.file(Name(2, "nef")));
}

TEST(RawFileSet, TwelveFilesKeepTheFirstTenAndTheTenthBecomesTheReference) {
    test::TempDir dir;
    for (int i = 12; i >= 1; --i) {  // created out of order: the listing sorts by name
        test::Touch(dir.file(Name(i, "cr2")));
    }
    std::string ruta = dir.file(Name(12, "cr2"));
    std::vector<std::string> set;
    RecorderChannel channel;
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    ASSERT_EQ(set.size(), 10u);
    EXPECT_EQ(set.front(), Name(1, "cr2"));
    EXPECT_EQ(set.back(), Name(10, "cr2"));
    EXPECT_EQ(ruta, dir.file(Name(10, "cr2")));
    EXPECT_EQ(channel.log(), std::vector<std::string>{"10 RAW files selected in path"});
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].title, "ERROR");
    EXPECT_EQ(channel.boxes()[0].text, kLimitBox);
}

TEST(RawFileSet, ExactlyTenAreAllTakenWithoutTheBox) {
    test::TempDir dir;
    for (int i = 1; i <= 10; ++i) {
        test::Touch(dir.file(Name(i, "dng")));
    }
    std::string ruta = dir.file(Name(3, "dng"));
    std::vector<std::string> set;
    RecorderChannel channel;
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set.size(), 10u);
    EXPECT_EQ(ruta, dir.file(Name(3, "dng")));
    EXPECT_TRUE(channel.boxes().empty());
}

TEST(RawFileSet, ANewSmallerListingShrinksTheSet) {
    test::TempDir big;
    test::TempDir small;
    for (int i = 1; i <= 6; ++i) {
        test::Touch(big.file(Name(i, "orf")));
    }
    test::Touch(small.file(Name(1, "orf")));
    test::Touch(small.file(Name(2, "orf")));
    std::vector<std::string> set;
    RecorderChannel channel;
    std::string ruta = big.file(Name(1, "orf"));
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    ruta = small.file(Name(2, "orf"));
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set, (std::vector<std::string>{Name(1, "orf"), Name(2, "orf")}));
}

TEST(RawFileSet, ExtensionCaseIgnoredHiddenFilesAndFoldersLeftOut) {
    test::TempDir dir;
    test::Touch(dir.file("a.CR2"));
    test::Touch(dir.file("b.cr2"));
    test::Touch(dir.file("._b.cr2"));  // another system's companion file
    std::filesystem::create_directory(dir.file("c.cr2"));
    std::string ruta = dir.file("b.cr2");
    std::vector<std::string> set;
    RecorderChannel channel;
    ASSERT_TRUE(LeerArchivosRAW(ruta, set, channel));
    EXPECT_EQ(set, (std::vector<std::string>{"a.CR2", "b.cr2"}));
}

TEST(RawFileSet, ReferenceWithoutExtensionIsReported) {
    test::TempDir dir;
    test::Touch(dir.file("IMG_0001"));
    std::string ruta = dir.file("IMG_0001");
    std::vector<std::string> set = {"old.cr2"};
    RecorderChannel channel;
    EXPECT_FALSE(LeerArchivosRAW(ruta, set, channel));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(
        channel.boxes()[0].text.rfind("Unexpected error occurred in module LeerArchivosRAW", 0),
        0u);
    EXPECT_EQ(channel.log(), std::vector<std::string>{"An unexpected error occurred"});
}

}  // namespace
}  // namespace brimsal
