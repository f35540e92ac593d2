#include "file/RegularFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using orv::FileError;
using orv::WriteRegularFile;

TEST(WriteRegularFile, ReplacesTheNamedFileWholeAndNeverWritesThroughALink) {
    TempDir dir;
    const mode_t mask = ::umask(022);
    const auto results = dir.path() / "results.csv";
    ASSERT_EQ(WriteRegularFile(results, "first\n"), FileError::None);
    ASSERT_EQ(WriteRegularFile(results, "second\n"), FileError::None);
    EXPECT_EQ(dir.read("results.csv"), "second\n");
    struct stat made {};
    ASSERT_EQ(::lstat(results.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0644u) << "made as any new file, not owner-only";
    ::umask(mask);

    // A link planted where the results go: refused, its target untouched.
    dir.write("precious", "keep me\n");
    const auto planted = dir.path() / "planted.csv";
    std::filesystem::create_symlink(dir.path() / "precious", planted);
    EXPECT_EQ(WriteRegularFile(planted, "junk\n"), FileError::Link);
    EXPECT_EQ(dir.read("precious"), "keep me\n");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));

    std::filesystem::create_directory(dir.path() / "folder.csv");
    EXPECT_EQ(WriteRegularFile(dir.path() / "folder.csv", "x"), FileError::NotRegular);
    EXPECT_EQ(WriteRegularFile(dir.path() / "nowhere" / "r.csv", "x"), FileError::Unwritable);
    // Nothing is left beside the files: no half-written temporaries.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 4);
}
