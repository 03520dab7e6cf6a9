// The ground every step stands on: path, text and number helpers, new and temporary files,
// ParallelFor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/TemporaryFiles.h"
#include "base/UserChannel.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

TEST(PathHelpers, SplitPathsLookingAtTheLastComponentOnly) {
    EXPECT_EQ(CarpetaDeRuta("/photos/a/b.cr2"), "/photos/a/");
    EXPECT_EQ(NombreArchivo("/photos/a/b.cr2"), "b.cr2");
    EXPECT_EQ(QuitarExtension("/photos/set.2024/IMG_0001.nef"), "/photos/set.2024/IMG_0001");
    EXPECT_EQ(ExtensionArchivo("/a/archive.tar.gz"), "gz");
    // A point in a folder name is not an extension; a path without a folder is a clear error.
    EXPECT_THROW(QuitarExtension("/photos/set.2024/IMG_0001"), RunTimeError);
    EXPECT_THROW(ExtensionArchivo("/photos/set.2024/IMG_0001"), RunTimeError);
    EXPECT_THROW(NombreArchivo("b.cr2"), RunTimeError);
}

TEST(TextHelpers, ReemplazarTodo) {
    const std::tuple<const char*, const char*, const char*, const char*> replaced[] = {
        {"aAa", "a", "b", "bAb"},      // case-sensitive
        {"aabb", "ab", "a", "aa"},     // an occurrence a replacement forms is replaced too
        {"a-a", "a", "aa", "aa-aa"}};  // a replacement holding the searched text still ends
    for (const auto& [text, searched, replacement, result] : replaced) {
        EXPECT_EQ(ReemplazarTodo(text, searched, replacement), result) << text;
    }
}

// No exponent, ever; a multibyte separator is written whole.
TEST(NumberText, PlainFifteenSignificantDigitsWithTheGivenSeparator) {
    const std::pair<double, const char*> cases[] = {
        {4.0, "4"},
        {-0.0, "0"},
        {1e20, "100000000000000000000"},
        {0.000125, "0.000125"},
        {0.1 + 0.2, "0.3"},
        {2.0 / 3.0, "0.666666666666667"},
        {123456789.123456789, "123456789.123457"},
        {static_cast<double>(0.45454547f), "0.454545468091965"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(NumberText(value, "."), text);
    }
    EXPECT_EQ(NumberText(37.5, ","), "37,5");
    EXPECT_EQ(NumberText(-37.5, "\u066B"), "-37\u066B5");
    // Read back: the separator whole, a point or a comma; a stray byte of it ("2", U+066B's first
    // byte, "5") is no number.
    const std::tuple<const char*, const char*, std::optional<double>> read[] = {
        {"-37\u066B5", "\u066B", -37.5},
        {"2,5", "\u066B", 2.5},
        {"2.5", "\u066B", 2.5},
        {"2\xD9\x35", "\u066B", std::nullopt},
        {"2\u066B5.1", "\u066B", std::nullopt},
        {"2\u066B5", ".", std::nullopt}};
    for (const auto& [text, separator, value] : read) {
        EXPECT_EQ(NumberFromText(text, separator), value) << text;
    }
}

// Numbers shown follow the locale's separator, one byte or several.
TEST(NumberText, FollowsTheNumericLocale) {
    int tried = 0;
    for (const auto& [locale, separator] :
         {std::pair{"de_DE.UTF-8", ","}, std::pair{"ps_AF.UTF-8", "\u066B"}}) {
        test::NumericLocale numeric(locale);
        if (!numeric.available()) {
            continue;
        }
        ++tried;
        const std::string sep = separator;
        EXPECT_EQ(DecimalSeparator(), sep);
        EXPECT_EQ(NumberText(12.3), "12" + sep + "3");
    }
    EXPECT_EQ(NumberText(12.3), "12.3");
    if (tried == 0) {
        GTEST_SKIP() << "no comma or multibyte-separator locale installed";
    }
}

// Two runs in one folder within the same second choose the same name: the second to finish
// moves on to the next counter instead of replacing the first one's file.
TEST(PathHelpers, NameTakenMeanwhileIsNeverReplaced) {
    test::TempDir dir;
    const std::string folder = dir.path() + "/";
    NewFileName target = FirstFreeName(folder, "Map_142530", ".png");
    test::WriteBytes(folder + "Map_142530.png", {1});  // the other run's map
    std::filesystem::create_directory(folder + "Map_142530_2.png");
    test::WriteBytes(folder + "mine.part", {2, 2});
    // Only regular files exist; a name is free when neither a file nor a folder holds it.
    EXPECT_TRUE(ExisteArchivo(folder + "Map_142530.png"));
    EXPECT_FALSE(ExisteArchivo(folder + "Map_142530_2.png"));
    EXPECT_FALSE(ExisteArchivo(folder));
    EXPECT_EQ(FreeFileName(folder, "Map_142530", ".png"), "Map_142530_3.png");
    PublishWithoutReplacing(folder + "mine.part", target);
    EXPECT_EQ(target.name(), "Map_142530_3.png");
    EXPECT_EQ(std::filesystem::file_size(folder + "Map_142530.png"), 1u);
    EXPECT_EQ(std::filesystem::file_size(folder + "Map_142530_3.png"), 2u);
    EXPECT_FALSE(std::filesystem::exists(folder + "mine.part"));
    NewFileName missing = FirstFreeName(folder + "gone/", "x", ".png");
    EXPECT_THROW(PublishWithoutReplacing(folder + "none.part", missing), RunTimeError);
}

// The file-system calls of the publication with some refused, as file systems refuse them: each
// call named in `refused` fails with its errno, and every call on a name ending in
// `refused_name` fails with EINVAL. The calls made are recorded in order.
struct RefusingFileSystem {
    std::map<std::string, int> refused;
    std::string refused_name = "\x01";
    std::vector<std::string> made;
    PublicationCalls saved = PublicationCallsInUse();

    RefusingFileSystem(std::map<std::string, int> refusals, std::string name)
        : refused(std::move(refusals)), refused_name(name.empty() ? "\x01" : name) {
        PublicationCalls& calls = PublicationCallsInUse();
        const PublicationCalls real = SystemPublicationCalls();
        auto guard = [this](const char* call, const char* path) {
            made.push_back(call);
            const std::string name(path);
            const auto refusal = refused.find(call);
            errno = refusal != refused.end() ? refusal->second
                    : name.size() >= refused_name.size() &&
                            name.compare(name.size() - refused_name.size(), std::string::npos,
                                         refused_name) == 0
                        ? EINVAL
                        : 0;
            return errno == 0;
        };
        calls.rename_noreplace = [=](const char* from, const char* to) {
            return guard("renameat2", to) ? real.rename_noreplace(from, to) : -1;
        };
        calls.link = [=](const char* from, const char* to) {
            return guard("link", to) ? real.link(from, to) : -1;
        };
        calls.rename = [=](const char* from, const char* to) {
            return guard("rename", to) ? real.rename(from, to) : -1;
        };
        calls.open = [=](const char* path, int flags, mode_t mode) {
            return guard((flags & O_CREAT) ? "create" : "open", path) ? real.open(path, flags, mode)
                                                                      : -1;
        };
        calls.write = [=](int fd, const void* data, size_t size) -> ssize_t {
            return guard("write", "") ? real.write(fd, data, size) : -1;
        };
        calls.fsync = [=](int fd) { return guard("fsync", "") ? real.fsync(fd) : -1; };
    }
    ~RefusingFileSystem() { PublicationCallsInUse() = saved; }
};

// Whatever a file system refuses, a finished file is never lost: it lands under its name by the
// first way the file system allows, or is kept beside under a name that says so (the error names
// it), or stays under its temporary name (named too, and no longer removed at an abrupt exit).
// It is synced before it is moved, and no empty or partial file is left under its name.
TEST(PathHelpers, AFinishedFileIsNeverLostWhateverTheFileSystemRefuses) {
    const std::string kept = std::string("Map_142530.png") + kKeptExtension;
    const std::string temporary = "";  // stands for the temporary name
    const std::tuple<const char*, std::map<std::string, int>, std::string, std::string> cases[] = {
        {"sandbox without renameat2", {{"renameat2", EPERM}}, "", "Map_142530.png"},
        {"FUSE without links", {{"renameat2", ENOSYS}, {"link", ENOSYS}}, "", "Map_142530.png"},
        {"FAT card", {{"renameat2", EINVAL}, {"link", EPERM}}, "", "Map_142530.png"},
        {"no rename at all",
         {{"renameat2", EOPNOTSUPP}, {"link", EOPNOTSUPP}, {"rename", EXDEV}},
         "",
         "Map_142530.png"},
        {"the name refused", {}, ".png", kept},
        {"full disk",
         {{"renameat2", EPERM}, {"link", EPERM}, {"rename", EPERM}, {"write", ENOSPC}},
         "",
         temporary},
        {"sync fails", {{"fsync", EIO}}, "", temporary}};
    for (const auto& [what, refusals, refused_name, landed] : cases) {
        test::TempDir dir;
        const std::string folder = dir.path() + "/";
        const std::string part = TemporaryNameBeside(folder + "Map_142530.png", ".part");
        const std::vector<uint8_t> bytes(3 << 20, 7);  // more than one copy chunk
        test::WriteBytes(part, bytes);
        NewFileName target = FirstFreeName(folder, "Map_142530", ".png");
        std::string error;
        {
            RefusingFileSystem file_system(refusals, refused_name);
            try {
                PublishWithoutReplacing(part, target);
            } catch (const RunTimeError& thrown) {
                error = thrown.what();
            }
            ASSERT_FALSE(file_system.made.empty());
            EXPECT_EQ(file_system.made[0], "open") << what;
            EXPECT_EQ(file_system.made[1], "fsync") << what;
        }
        const std::string where = landed.empty() ? part : folder + landed;
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            left.push_back(entry.path().string());
        }
        if (std::string(what) == "sync fails") {
            // A file the disk did not take is no finished file: it is reported, not placed.
            EXPECT_NE(error.find("cannot write the file to disk"), std::string::npos);
            EXPECT_TRUE(left.empty());
            continue;
        }
        EXPECT_EQ(left, std::vector<std::string>{where}) << what;
        EXPECT_EQ(std::filesystem::file_size(where), bytes.size()) << what;
        EXPECT_EQ(error.empty(), landed == "Map_142530.png") << what;
        if (!error.empty()) {
            EXPECT_NE(error.find("kept as '" + where + "'"), std::string::npos) << error;
        }
        RemoveTemporariesAtAbruptExit();
        EXPECT_TRUE(std::filesystem::exists(where)) << what;
    }
}

// A second interrupt ends the process at once: the files still being written go with it, the
// finished ones stay.
TEST(PathHelpers, AbruptExitRemovesTheFilesBeingWritten) {
    test::TempDir dir;
    const std::string part = TemporaryNameBeside(dir.file("BR_1.tif"), ".part");
    test::WriteBytes(part, {1});
    test::WriteBytes(dir.file("BR_1.tif"), {2});
    RemoveTemporariesAtAbruptExit();
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_TRUE(std::filesystem::exists(dir.file("BR_1.tif")));
}

// Every index is seen once, by chunk i / 64 whatever the thread count; an exception in a body
// reaches the caller.
TEST(Parallel, EveryIndexOnceAndChunksIndependentOfThreads) {
    for (int threads : {1, 2, 7}) {
        std::vector<std::atomic<int64_t>> seen(1000);
        ParallelFor(
            1000, 64,
            [&](int64_t chunk, int64_t begin, int64_t end) {
                for (int64_t i = begin; i < end; ++i) {
                    seen[static_cast<size_t>(i)] += chunk + 1;
                }
            },
            threads);
        for (size_t i = 0; i < seen.size(); ++i) {
            ASSERT_EQ(seen[i], static_cast<int64_t>(i / 64 + 1)) << i << " " << threads;
        }
    }
    const auto throwing = [](int64_t, int64_t, int64_t) { throw RunTimeError(kErrOverflow, ""); };
    EXPECT_THROW(ParallelFor(100, 1, throwing, 2), RunTimeError);
}

// Runs ParallelFor with three workers where the address space leaves room for one more thread
// stack and a half: the second worker cannot start. Ends the process: 0 when the failure
// reached the caller as an exception.
[[noreturn]] void RunWhereTheSecondWorkerCannotStart() {
    pthread_attr_t defaults;
    size_t stack_bytes = 0;
    pthread_getattr_default_np(&defaults);
    pthread_attr_getstacksize(&defaults, &stack_bytes);
    long pages_in_use = 0;
    std::ifstream("/proc/self/statm") >> pages_in_use;
    const rlim_t limit =
        static_cast<rlim_t>(pages_in_use) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
        stack_bytes + stack_bytes / 2;
    const rlimit address_space{limit, limit};
    setrlimit(RLIMIT_AS, &address_space);
    try {
        ParallelFor(
            64, 1, [](int64_t, int64_t, int64_t) {}, 3);
    } catch (const std::system_error&) {
        std::_Exit(0);
    }
    std::_Exit(1);
}

// The thread already started is joined and the failure reported, not std::terminate.
TEST(Parallel, ThreadThatCannotStartIsReportedNotFatal) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    // A fresh process: one that has ended threads before keeps their stacks for new ones.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWhereTheSecondWorkerCannotStart(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace brimsal
