#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "devicelink/zqueue.h"

namespace {

struct Queue {
    alignas(std::max_align_t) unsigned char storage[64 + ZQUEUE_OVERHEAD];
    QueueReader *reader = nullptr;
    QueueWriter *writer = nullptr;

    explicit Queue(int capacity)
    {
        EXPECT_EQ(zQueueInit(storage, int(sizeof storage), &reader, &writer, capacity), 0);
    }
};

}  // namespace

TEST(ZQueueInit, PlacesBothHandlesAtTheStartAndTheDataAreaAfterThem)
{
    Queue q(16);
    unsigned char *data = q.storage + sizeof(QueueReader) + sizeof(QueueWriter);
    EXPECT_EQ(static_cast<void *>(q.reader), static_cast<void *>(q.storage));
    EXPECT_EQ(static_cast<void *>(q.writer), static_cast<void *>(q.storage + sizeof(QueueReader)));
    EXPECT_EQ(q.reader->writer, q.writer);
    EXPECT_EQ(q.writer->start, data);
    EXPECT_EQ(q.writer->end, data + 16);
    EXPECT_EQ(q.writer->wr, data);
    EXPECT_EQ(q.reader->rd, data);
    EXPECT_EQ(q.reader->hook, nullptr);
    EXPECT_EQ(q.writer->hook, nullptr);
}

TEST(ZQueueInit, RefusesStorageSmallerThanCapacityPlusOverheadAndChangesNothing)
{
    unsigned char storage[48 + ZQUEUE_OVERHEAD];
    std::memset(storage, 0xEE, sizeof storage);
    QueueReader *reader = reinterpret_cast<QueueReader *>(0x1);
    QueueWriter *writer = reinterpret_cast<QueueWriter *>(0x2);
    int size = int(sizeof storage);

    EXPECT_EQ(zQueueInit(storage, size, &reader, &writer, size - int(ZQUEUE_OVERHEAD) + 1), 1);

    EXPECT_EQ(reader, reinterpret_cast<QueueReader *>(0x1));
    EXPECT_EQ(writer, reinterpret_cast<QueueWriter *>(0x2));
    for (unsigned char b : storage)
        ASSERT_EQ(b, 0xEE);
}

TEST(ZQueueInit, AcceptsStorageOfExactlyCapacityPlusOverheadAndNullOutPointers)
{
    alignas(std::max_align_t) unsigned char storage[8 + ZQUEUE_OVERHEAD];
    EXPECT_EQ(zQueueInit(storage, int(sizeof storage), nullptr, nullptr, 8), 0);
    QueueReader *reader = reinterpret_cast<QueueReader *>(storage);
    EXPECT_EQ(zQueueReadChar(reader), -1);
}

TEST(ZQueueReadChar, EmptyQueueGivesMinusOneAndLeavesTheReadPointer)
{
    Queue q(8);
    unsigned char *before = q.reader->rd;
    EXPECT_EQ(zQueueReadChar(q.reader), -1);
    EXPECT_EQ(q.reader->rd, before);
}

TEST(ZQueueReadChar, ReturnsBytesInOrderAsValuesZeroTo255)
{
    Queue q(8);
    zQueueWriteChar(q.writer, 0x00);
    zQueueWriteChar(q.writer, 0xFF);
    zQueueWriteChar(q.writer, 0x81);
    EXPECT_EQ(zQueueReadChar(q.reader), 0x00);
    EXPECT_EQ(zQueueReadChar(q.reader), 0xFF);
    EXPECT_EQ(zQueueReadChar(q.reader), 0x81);
    EXPECT_EQ(zQueueReadChar(q.reader), -1);
}

TEST(ZQueue, BothPointersWrapToTheStartAtTheEndOfTheDataArea)
{
    Queue q(4);
    int next = 0;
    for (int round = 0; round < 5; round++) {
        for (int i = 0; i < 3; i++)
            zQueueWriteChar(q.writer, (unsigned char)(next + i));
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(zQueueReadChar(q.reader), next + i) << "round " << round;
        ASSERT_EQ(zQueueReadChar(q.reader), -1);
        next += 3;
    }
    // 15 bytes through a ring of 4: both pointers sit at offset 15 % 4 = 3.
    EXPECT_EQ(q.reader->rd, q.writer->start + 3);
    EXPECT_EQ(q.writer->wr, q.writer->start + 3);
}

TEST(ZQueue, HoldsCapacityMinusOneBytesAndReadsEmptyWhenOverfilled)
{
    Queue q(4);
    for (int i = 0; i < 3; i++)
        zQueueWriteChar(q.writer, (unsigned char)(10 + i));
    EXPECT_EQ(zQueueReadChar(q.reader), 10);

    Queue full(4);
    for (int i = 0; i < 4; i++)
        zQueueWriteChar(full.writer, (unsigned char)i);
    EXPECT_EQ(zQueueReadChar(full.reader), -1);
}
