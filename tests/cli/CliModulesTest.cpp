// The pieces of ostrevan-scan one by one: options, JSON escaping, SHA-256, table cells, export.
#include "cli/Exporter.h"
#include "cli/JsonWriter.h"
#include "cli/Options.h"
#include "cli/Sha256.h"
#include "cli/TableWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TEST(Options, ParsesEveryOptionAndRefusesBadUsage) {
    const TParsedOptions all = ParseOptions({"--json", "-q", "--keyword", "Invoice", "--export", "out", "--sector-size",
                                             "4096", "--threads", "3", "disk.img"});
    ASSERT_EQ(all.Error, "");
    EXPECT_TRUE(all.Options.Json && all.Options.Quiet && all.Options.HasKeyword);
    EXPECT_EQ(all.Options.Keyword, "Invoice");
    EXPECT_EQ(all.Options.ExportDir, "out");
    EXPECT_EQ(all.Options.SectorSize, 4096u);
    EXPECT_EQ(all.Options.Threads, 3u);
    EXPECT_EQ(ParseOptions({"disk.img"}).Options.Threads, 0u); // one per core
    EXPECT_EQ(all.Options.Source, "disk.img");
    EXPECT_EQ(ParseOptions({"--", "-odd-name.img"}).Options.Source, "-odd-name.img");
    EXPECT_EQ(ParseOptions({"--list-drives"}).Error, "");

    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"--nope", "x"},
                                                       {"--keyword"},
                                                       {"--keyword", "", "x"},
                                                       {"--export"},
                                                       {"a", "b"},
                                                       {"--sector-size"},
                                                       {"--sector-size", "0", "x"},
                                                       {"--sector-size", "513", "x"},
                                                       {"--sector-size", "131072", "x"},
                                                       {"--sector-size", "512x", "x"},
                                                       {"--sector-size", "-512", "x"},
                                                       {"--threads", "0", "x"},
                                                       {"--threads", "257", "x"},
                                                       {"--threads", "2x", "x"}};
    for (const auto& args : bad)
        EXPECT_NE(ParseOptions(args).Error, "") << (args.empty() ? "(none)" : args[0]);
}

TEST(JsonWriter, EscapesEveryByteThatJsonDoesNotCarryAsItIs) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain text", "\"plain text\""},
        {"quote \" back \\ slash /", "\"quote \\\" back \\\\ slash /\""},
        {"\t\n\r\b\f", "\"\\t\\n\\r\\b\\f\""},
        {std::string("\0\x01\x0b\x1f\x7f", 5), "\"\\u0000\\u0001\\u000b\\u001f\\u007f\""},
        {"caf\xe9 \x80\xff", "\"caf\\u00e9 \\u0080\\u00ff\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonString(c.in), c.out);
}

TEST(JsonWriter, WritesTheKeysInOrderOnOneLine) {
    TEmail email;
    email.From = " a@example.org";
    email.To = " b@example.org";
    email.Subject = " Hi";
    email.Date = " Tue, 1 Dec 2026";
    email.FullText = "abc";
    email.Body = "\r\n";
    EXPECT_EQ(JsonLine({7, 4096, 3584, email}),
              "{\"index\":7,\"offset\":4096,\"run_offset\":3584,\"from\":\" a@example.org\",\"to\":\" b@example.org\","
              "\"subject\":\" Hi\",\"date\":\" Tue, 1 Dec 2026\",\"size\":3,\"body_size\":2,"
              "\"sha256\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"}\n");
}

// The padding of the last block changes at 55/56 and 63/64 bytes; 1,000,000 'a' is the long standard vector.
TEST(Sha256, MatchesTheStandardVectorsAcrossBlockEdges) {
    const struct {
        std::string in;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sha256Hex(c.in), c.digest) << c.in.size() << " bytes";
}

TEST(TableWriter, CellsDropTheLeadingSpaceShowControlBytesSafelyAndShorten) {
    const struct {
        std::string value;
        size_t width;
        std::string cell;
    } cases[] = {
        {" Budget", 20, "Budget"},
        {"  two spaces", 20, " two spaces"},
        {" tab\there\vvt", 20, "tab.here.vt"},
        {" caf\xe9", 20, "caf?"},
        {" trailing   ", 20, "trailing"},
        {" a very long subject line indeed", 12, "a very lo..."},
        {"", 5, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TableCell(c.value, c.width), c.cell) << c.value;
    TEmail email;
    email.Subject = " S";
    const std::string row = TTableWriter().Row(12, 512, email);
    EXPECT_EQ(row.find("12"), 6u);
    EXPECT_NE(row.find("512"), std::string::npos);
    EXPECT_EQ(row.back(), '\n');
}

class ExporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("ostrevan-export-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        errors = std::tmpfile();
    }
    void TearDown() override {
        fs::remove_all(folder);
        std::fclose(errors);
    }
    std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Errors() {
        std::rewind(errors);
        std::string text;
        for (int c; (c = std::fgetc(errors)) != EOF;)
            text.push_back(static_cast<char>(c));
        return text;
    }
    fs::path folder;
    std::FILE* errors = nullptr;
};

TEST_F(ExporterTest, MakesTheFolderAndWritesFullTextByteForByte) {
    TExporter exporter((folder / "made").string(), errors);
    ASSERT_TRUE(exporter.Prepare());
    TEmail email;
    const char raw[] = "From: a\r\n\r\nbinary \0 and \x80\r\n";
    email.FullText = std::string(raw, sizeof raw - 1);
    EXPECT_TRUE(exporter.Export(0, email));
    EXPECT_TRUE(exporter.Export(1, TEmail{}));
    EXPECT_EQ(Read(folder / "made" / "RecoveredEmail0.eml"), email.FullText);
    EXPECT_EQ(fs::file_size(folder / "made" / "RecoveredEmail1.eml"), 0u);
    EXPECT_EQ(exporter.Written(), 2u);
    EXPECT_EQ(exporter.NotWritten(), 0u);
}

TEST_F(ExporterTest, SkipsAnExistingFileAndSaysSo) {
    fs::create_directories(folder);
    std::ofstream(folder / "RecoveredEmail3.eml", std::ios::binary) << "older";
    TExporter exporter(folder.string(), errors);
    ASSERT_TRUE(exporter.Prepare());
    TEmail email;
    email.FullText = "new\r\n";
    EXPECT_FALSE(exporter.Export(3, email));
    EXPECT_TRUE(exporter.Export(4, email));
    EXPECT_EQ(Read(folder / "RecoveredEmail3.eml"), "older");
    EXPECT_EQ(exporter.NotWritten(), 1u);
    EXPECT_NE(Errors().find("RecoveredEmail3.eml: already exists"), std::string::npos);
}

TEST_F(ExporterTest, RefusesAFileInPlaceOfTheFolder) {
    fs::create_directories(folder);
    std::ofstream(folder / "plain", std::ios::binary) << "x";
    TExporter exporter((folder / "plain").string(), errors);
    EXPECT_FALSE(exporter.Prepare());
    EXPECT_NE(Errors().find("not a folder"), std::string::npos);
}
