// The one writer of exported messages: a new file with exactly the given bytes, or nothing touched at all.
#include "volume/NewFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class NewFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("ostrevan-newfile-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string PathOf(const std::string& name) const { return (folder / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path folder;
};

} // namespace

TEST_F(NewFileTest, WritesEveryByteAsGivenWhateverTheChunkSize) {
    std::string binary("From: a\r\n\r\nzero \0 byte, high \xff byte, lone \n and \r\n", 45);
    std::string long_(100000, 'x');
    long_[99999] = '\n';
    struct TCase {
        const char* Name;
        std::string Data;
        size_t Chunk;
    };
    const TCase cases[] = {
        {"empty", "", kWriteChunkBytes},
        {"zero and high bytes, bare line ends", binary, kWriteChunkBytes},
        {"many chunks, the last one short", long_, 7},
        {"chunk of exactly the size", long_, long_.size()},
        {"chunk of 0 taken as 1", binary, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = PathOf(std::string(c.Name) + ".eml");
        std::string error;
        ASSERT_EQ(CreateNewFile(path, c.Data, error, c.Chunk), TCreateResult::Created) << error;
        EXPECT_EQ(Read(path), c.Data);
    }
}

TEST_F(NewFileTest, ATakenNameIsLeftAsItIsAndAFolderThatIsNotThereFailsWithItsReason) {
    const std::string taken = PathOf("RecoveredEmail0.eml");
    std::ofstream(taken, std::ios::binary) << "the user's own file";
    std::string error;
    EXPECT_EQ(CreateNewFile(taken, "new text", error), TCreateResult::Exists);
    EXPECT_EQ(Read(taken), "the user's own file");

    const std::string takenByFolder = PathOf("sub");
    fs::create_directories(takenByFolder);
    EXPECT_NE(CreateNewFile(takenByFolder, "new text", error), TCreateResult::Created);
    EXPECT_TRUE(fs::is_directory(takenByFolder));

    error.clear();
    const std::string nowhere = (folder / "no-such-folder" / "RecoveredEmail0.eml").string();
    EXPECT_EQ(CreateNewFile(nowhere, "text", error), TCreateResult::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(nowhere));
}
