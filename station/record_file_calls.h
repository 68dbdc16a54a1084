// The system calls by which the file of records reaches the disk (POSIX),
// held in one place so that a test can stand in for a disk that fails or
// forgets: every record must be written whole and flushed (fsync) before
// it counts as kept.
#pragma once

#include <sys/types.h>

#include <cstddef>

struct RecordFileCalls {
    ssize_t (*write)(int fd, const void *data, size_t size);
    int (*fsync)(int fd);
};
// The calls in use (the system's own unless a test replaced them).
RecordFileCalls &RecordFileSystemCalls();
