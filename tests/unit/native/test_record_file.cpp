// The file of records against a disk that fails: a record counts as kept
// only once it is written whole and flushed; one that fails is taken back,
// so the file never holds a torn line.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "station/record.h"
#include "station/record_file.h"
#include "station/record_file_calls.h"

namespace {

namespace fs = std::filesystem;

// What the stand-in disk did, and how it is to fail.
struct Disk {
    size_t writeRoom = size_t(-1);  // bytes it takes before ENOSPC
    bool fsyncFails = false;
    int fsyncs = 0;
    size_t written = 0;
    bool fsyncAfterWrite = false;   // the last write was followed by a flush
} disk;

ssize_t FakeWrite(int fd, const void *data, size_t size)
{
    if (disk.written >= disk.writeRoom) {
        errno = ENOSPC;
        return -1;
    }
    const size_t n = std::min(size, disk.writeRoom - disk.written);
    const ssize_t done = ::write(fd, data, n);
    if (done > 0)
        disk.written += size_t(done);
    disk.fsyncAfterWrite = false;
    return done;
}

int FakeFsync(int)
{
    ++disk.fsyncs;
    disk.fsyncAfterWrite = true;
    if (disk.fsyncFails) {
        errno = EIO;
        return -1;
    }
    return 0;
}

std::string Read(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(RecordFile, ARecordIsKeptOnlyWhenWrittenWholeAndFlushedElseTakenBack)
{
    const struct {
        const char *name;
        size_t room;       // bytes the disk takes of the second record
        bool fsyncFails;
        bool kept;
    } cases[] = {
        {"a healthy disk", size_t(-1), false, true},
        {"a disk that fills in the middle of the line", 10, false, false},
        {"a disk that takes nothing", 0, false, false},
        {"a flush that fails", size_t(-1), true, false},
    };
    const fs::path dir = fs::temp_directory_path() / ("zf-record-file-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    RecordFileCalls &calls = RecordFileSystemCalls();
    const RecordFileCalls real = calls;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / "records.jsonl";
        fs::remove(file);
        std::string error;
        const nlohmann::json first = {{"n", 1}}, second = {{"n", 2}, {"text", std::string(200, 'x')}};
        ASSERT_TRUE(AppendRecord(file.string(), first, error)) << error;
        const std::string before = Read(file);

        disk = Disk();
        disk.writeRoom = c.room;
        disk.fsyncFails = c.fsyncFails;
        calls.write = FakeWrite;
        calls.fsync = FakeFsync;
        const bool kept = AppendRecord(file.string(), second, error);
        calls = real;

        EXPECT_EQ(kept, c.kept) << error;
        if (kept) {
            EXPECT_TRUE(disk.fsyncAfterWrite) << "kept before it was flushed";
            EXPECT_EQ(Read(file), before + RecordLine(second) + "\n");
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(Read(file), before) << "a torn line was left behind";
        }
    }
    fs::remove_all(dir);
}

}  // namespace
