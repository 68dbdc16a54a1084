// Records files as the database loading reads them: each line's entry and
// key, and a file read as it grows, is cut or is rotated away.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "targetlib/sha256.h"
#include "tools/zflash/records/line_file.h"
#include "tools/zflash/records/record_entry.h"

namespace fs = std::filesystem;

namespace {

const char *const kSchema2 = R"({"schema":2,"time":"2026-12-07T13:40:52Z","result":"ok","attempts":1})";

TEST(RecordEntry, EachLineIsARecordAStartOrSaysWhyNot)
{
    const std::string id(32, 'a');
    const struct {
        std::string line;
        const char *problem;  // the start of it; "" for an entry
        bool start;
        std::string session;  // "" for the SHA-256 of the line
    } cases[] = {
        {kSchema2, "", false, ""},
        {std::string(kSchema2) + "\r", "", false, "sha-without-cr"},
        {R"({"schema":3,"event":"start","session":")" + id + R"(","time":"2026-12-07T13:40:40Z"})", "", true, id},
        {R"({"schema":3,"event":"end","session":")" + id + R"(","time":"2026-12-07T13:40:52Z","result":"ok"})", "",
         false, id},
        {R"({"schema":3,"event":"end","time":"t","result":"ok","session":""})", "", false, ""},
        {R"({"schema":3,"event":"pause","time":"t","result":"ok"})", "not a record (event \"pause\")", false, ""},
        {R"({"schema":2,"time":"t"})", "not a record (no result)", false, ""},
        {R"({"time":"t","result":"ok"})", "not a record (no schema", false, ""},
        {R"({"schema":"2","time":"t","result":"ok"})", "not a record (no schema", false, ""},
        {R"([1,2])", "not a record (no schema", false, ""},
        {R"({"schema":2,"time":"t","result":"ok")", "not JSON", false, ""},
        {"", "not JSON", false, ""},
        {"{\"schema\":2,\"time\":\"t\",\"result\":\"\xff\"}", "not UTF-8", false, ""},
        {"{\"schema\":2,\"time\":\"\xc0\xaf\",\"result\":\"ok\"}", "not UTF-8", false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const RecordEntry e = ReadRecordEntry(c.line);
        EXPECT_EQ(0u, e.problem.find(c.problem)) << e.problem;
        if (*c.problem) {
            EXPECT_TRUE(e.entry.is_null());
            continue;
        }
        EXPECT_TRUE(e.problem.empty());
        EXPECT_EQ(c.start, e.start);
        if (c.session == "sha-without-cr")
            EXPECT_EQ(Sha256Hex(kSchema2, std::string(kSchema2).size()), e.session);
        else if (c.session.empty())
            EXPECT_EQ(Sha256Hex(c.line.data(), c.line.size()), e.session);
        else
            EXPECT_EQ(c.session, e.session);
        EXPECT_TRUE(e.entry.is_object());
    }
}

TEST(RecordEntry, ANulInATextBecomesAReplacementCharacter)
{
    const RecordEntry e =
        ReadRecordEntry(R"({"schema":2,"time":"t","result":"failed","failure":{"detail":"a\u0000b"}})");
    ASSERT_TRUE(e.problem.empty()) << e.problem;
    EXPECT_EQ("a\xEF\xBF\xBD" "b", e.entry["failure"]["detail"]);
}

class LineFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("zf-linefile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "line.jsonl").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Append(const std::string &bytes, const std::string &to = std::string()) const
    {
        std::ofstream(to.empty() ? path : to, std::ios::binary | std::ios::app) << bytes;
    }
    static std::vector<std::string> Texts(const std::vector<FileLine> &lines)
    {
        std::vector<std::string> texts;
        for (const FileLine &l : lines)
            texts.push_back(l.text);
        return texts;
    }

    fs::path dir;
    std::string path;
};

TEST_F(LineFileTest, OnlyCompleteLinesAreReadAndTheFileIsFollowedAsItGrows)
{
    Append("one\ntw");
    LineFile f(path);
    std::string error;
    ASSERT_TRUE(f.Open(error)) << error;
    EXPECT_EQ(Sha256Hex("one", 3), f.Fingerprint());
    std::vector<FileLine> lines = f.Read(10);
    ASSERT_EQ(std::vector<std::string>{"one"}, Texts(lines));
    EXPECT_EQ(1, lines[0].number);
    EXPECT_EQ(4, lines[0].end);
    EXPECT_TRUE(f.HasPartial());
    EXPECT_TRUE(f.Read(10).empty());  // "tw" waits for its end
    Append("o\nthree\nfour\n");
    lines = f.Read(2);  // at most two
    EXPECT_EQ((std::vector<std::string>{"two", "three"}), Texts(lines));
    EXPECT_EQ(3, lines.back().number);
    EXPECT_EQ(14, f.Offset());
    lines = f.Read(10);
    EXPECT_EQ(std::vector<std::string>{"four"}, Texts(lines));
    EXPECT_FALSE(f.HasPartial());
    // Read again from a position, as after a failed load.
    f.Seek(4, 1);
    EXPECT_EQ((std::vector<std::string>{"two", "three", "four"}), Texts(f.Read(10)));
    EXPECT_FALSE(f.Rotated());
}

TEST_F(LineFileTest, AFileWithoutAFirstLineHasNoFingerprintAndAnOverlongLineIsCut)
{
    Append("partial");
    LineFile f(path);
    std::string error;
    ASSERT_TRUE(f.Open(error));
    EXPECT_EQ("", f.Fingerprint());
    EXPECT_EQ("", FingerprintOfFile(path));
    EXPECT_EQ("", FingerprintOfFile((dir / "missing").string()));
    Append(std::string(LineFile::kMaxLine + 10, 'x') + "\nnext\n");
    const std::vector<FileLine> lines = f.Read(10);
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(lines[0].overlong);
    EXPECT_TRUE(lines[0].text.empty());
    EXPECT_EQ("next", lines[1].text);
    EXPECT_EQ(2, lines[1].number);
    EXPECT_EQ(static_cast<long long>(7 + LineFile::kMaxLine + 10 + 1 + 5), lines[1].end);
}

TEST_F(LineFileTest, ARotatedFileIsReadToItsEndAndACutOneFromItsStart)
{
    Append("a1\na2\n");
    LineFile f(path);
    std::string error;
    ASSERT_TRUE(f.Open(error));
    EXPECT_EQ(2u, f.Read(10).size());
    fs::rename(path, dir / "line.jsonl.1");
    EXPECT_TRUE(f.Rotated());  // nothing at the path
    Append("b1\n");
    EXPECT_TRUE(f.Rotated());  // another file at the path
    Append("a3\n", (dir / "line.jsonl.1").string());  // a writer that had it open
    EXPECT_EQ(std::vector<std::string>{"a3"}, Texts(f.Read(10)));
    ASSERT_TRUE(f.Open(error));  // the new file
    EXPECT_EQ(Sha256Hex("b1", 2), f.Fingerprint());
    EXPECT_FALSE(f.Rotated());
    EXPECT_EQ(std::vector<std::string>{"b1"}, Texts(f.Read(10)));
    // Cut and written anew in place: shorter than the position.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "c\n";
    bool truncated = false;
    EXPECT_EQ(std::vector<std::string>{"c"}, Texts(f.Read(10, &truncated)));
    EXPECT_TRUE(truncated);
}

}  // namespace
