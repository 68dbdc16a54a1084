#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "devicelink/zbin.h"
#include "targetlib/checksum.h"
#include "targetlib/transact.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A receive path like the target library's: a queue feeding one packetizer.
struct Receiver {
    alignas(std::max_align_t) unsigned char queueStorage[4096 + ZQUEUE_OVERHEAD];
    alignas(std::max_align_t) unsigned char frameStorage[2048 + ZBIN_OVERHEAD];
    QueueReader *reader = nullptr;
    QueueWriter *writer = nullptr;
    Packetizer *pkt = nullptr;

    explicit Receiver(int capacity = 2048)
    {
        EXPECT_EQ(zQueueInit(queueStorage, int(sizeof queueStorage), &reader, &writer, 4096), 0);
        pkt = zBinInitPacketizer(frameStorage, capacity + int(ZBIN_OVERHEAD), reader, capacity);
        EXPECT_NE(pkt, nullptr);
    }
    unsigned char *Feed(const Bytes &bytes)
    {
        for (unsigned char b : bytes)
            zQueueWriteChar(writer, b);
        return zBinGetPacket(pkt);
    }
};

Bytes Frame(unsigned char code, const Bytes &data)
{
    Bytes buf(6 + 1144 + 8, 0);
    unsigned char *p = zBinPacketOpen(buf.data(), code);
    for (unsigned char b : data)
        *p++ = b;
    buf.resize(size_t(zBinPacketClose(buf.data(), p)));
    return buf;
}

Bytes Pattern(int n)
{
    Bytes b(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        b[size_t(i)] = (unsigned char)(i * 7 + 3);
    return b;
}

Bytes Join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The frame returned by the packetizer, from its code byte through ck1.
Bytes Received(const unsigned char *code)
{
    int d = zBinDataLength(code[1]);
    return Bytes(code, code + 2 + d + 2);
}

}  // namespace

// ---- building frames ------------------------------------------------------

TEST(ZBinPacket, GoldenFrames)
{
    EXPECT_EQ(Frame(0, {}), (Bytes{0x81, 0xA1, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Frame(2, {}), (Bytes{0x81, 0xA1, 0x02, 0x00, 0x02, 0x04}));
    EXPECT_EQ(Frame(4, {0x02}), (Bytes{0x81, 0xA1, 0x04, 0x01, 0x02, 0x07, 0x10}));
}

TEST(ZBinPacketOpen, WritesTheHeaderAndReturnsTheDataField)
{
    unsigned char buf[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(zBinPacketOpen(buf, 93), buf + 4);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{0x81, 0xA1, 93, 0x00, 0xEE}));
}

TEST(ZBinPacketClose, KeepsUpTo127DataBytesInTheShortForm)
{
    Bytes f = Frame(90, Pattern(127));
    ASSERT_EQ(f.size(), 4u + 127 + 2);
    EXPECT_EQ(f[3], 0x7F);
    EXPECT_EQ(CalcFletcher16(&f[2], 2 + 127), (f[131] << 8) | f[132]);
}

TEST(ZBinPacketClose, Pads130DataBytesTo136WithLength0x81)
{
    unsigned char buf[6 + 136];
    for (unsigned char &b : buf)
        b = 0x5A;  // stands for whatever the buffer held past the data
    unsigned char *p = zBinPacketOpen(buf, 90);
    for (int i = 0; i < 130; i++)
        p[i] = (unsigned char)i;

    ASSERT_EQ(zBinPacketClose(buf, p + 130), 142);

    EXPECT_EQ(buf[3], 0x81);
    EXPECT_EQ(buf[4 + 130], 0x5A);  // padding travels as it was
    EXPECT_EQ(CalcFletcher16(buf + 2, 2 + 136), (buf[140] << 8) | buf[141]);
}

TEST(ZBinPacketClose, LongFormBoundaries)
{
    Bytes f128 = Frame(90, Pattern(128));
    EXPECT_EQ(f128.size(), 134u);
    EXPECT_EQ(f128[3], 0x80);
    Bytes f1144 = Frame(90, Pattern(1144));
    EXPECT_EQ(f1144.size(), 1150u);
    EXPECT_EQ(f1144[3], 0xFF);
    EXPECT_EQ(zBinDataLength(0xFF), 1144);
}

// ---- receiving frames -----------------------------------------------------

TEST(ZBinInitPacketizer, RefusesNullOrTooSmallStorage)
{
    alignas(std::max_align_t) unsigned char storage[64 + ZBIN_OVERHEAD];
    Receiver r;
    EXPECT_EQ(zBinInitPacketizer(nullptr, 1 << 20, r.reader, 64), nullptr);
    EXPECT_EQ(zBinInitPacketizer(storage, 64 + int(ZBIN_OVERHEAD) - 1, r.reader, 64), nullptr);

    Packetizer *p = zBinInitPacketizer(storage, 64 + int(ZBIN_OVERHEAD), r.reader, 64);
    ASSERT_EQ(static_cast<void *>(p), static_cast<void *>(storage));
    EXPECT_EQ(p->buffer, storage + ZBIN_OVERHEAD);
    EXPECT_EQ(p->capacity, 64);
    EXPECT_EQ(p->state, 0);
    EXPECT_EQ(p->badFrames, 0);
}

TEST(ZBinGetPacket, OneBytePerCallCompletesOnTheSecondChecksumByte)
{
    Receiver r;
    Bytes f = Frame(4, {0x02});
    for (size_t i = 0; i + 1 < f.size(); i++)
        ASSERT_EQ(r.Feed({f[i]}), nullptr) << "byte " << i;
    unsigned char *code = r.Feed({f.back()});
    ASSERT_EQ(code, r.pkt->buffer + 2);
    EXPECT_EQ(Received(code), (Bytes{0x04, 0x01, 0x02, 0x07, 0x10}));
}

TEST(ZBinGetPacket, IgnoresLeadingNoise)
{
    Receiver r;
    unsigned char *code = r.Feed(Join({0x00, 0xA1, 0x7F, 0x02}, Frame(2, {})));
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), (Bytes{0x02, 0x00, 0x02, 0x04}));
    EXPECT_EQ(r.pkt->badFrames, 0);
}

TEST(ZBinGetPacket, DoubledSyncByteLosesTheFrameWithoutCountingIt)
{
    Receiver r;
    Bytes f = Frame(2, {});
    EXPECT_EQ(r.Feed(Join({0x81}, f)), nullptr);
    EXPECT_EQ(r.pkt->badFrames, 0);
    EXPECT_NE(r.Feed(f), nullptr);  // the next frame is found again
}

TEST(ZBinGetPacket, WrongFirstChecksumDropsAtOnceAndRescansTheSecond)
{
    Receiver r;
    // ck0 is wrong (0xFF); the byte after it, 0x81, opens the next frame.
    EXPECT_NE(r.Feed({0x81, 0xA1, 0x02, 0x00, 0xFF, 0x81, 0xA1, 0x04, 0x01, 0x02, 0x07, 0x10}),
              nullptr);
    EXPECT_EQ(r.pkt->badFrames, 1);
    EXPECT_EQ(r.pkt->buffer[2], 0x04);
}

TEST(ZBinGetPacket, WrongSecondChecksumIsCountedAndReadingGoesOn)
{
    Receiver r;
    Bytes bad = {0x81, 0xA1, 0x02, 0x00, 0x02, 0x05};
    unsigned char *code = r.Feed(Join(bad, Frame(4, {0x02})));
    EXPECT_EQ(r.pkt->badFrames, 1);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code[0], 0x04);
}

TEST(ZBinGetPacket, DropsALengthThatCannotFitTheBuffer)
{
    Receiver r(64);
    Bytes fits = Frame(3, Pattern(58));  // D = capacity - 6: 64 bytes in all
    Bytes tooLong = Frame(3, Pattern(59));
    for (unsigned char &b : tooLong)
        if (b == 0x81) b = 0x80;  // keep the dropped frame's bytes from resyncing
    tooLong[0] = 0x81;

    EXPECT_EQ(r.Feed(tooLong), nullptr);
    EXPECT_EQ(r.pkt->badFrames, 1);
    unsigned char *code = r.Feed(fits);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), Bytes(fits.begin() + 2, fits.end()));
}

TEST(ZBinGetPacket, AcceptsBothLongFormExtremesWithCapacity2048)
{
    Receiver r;
    Bytes f128 = Frame(0, Pattern(128));
    Bytes f1144 = Frame(0, Pattern(1144));
    unsigned char *code = r.Feed(f128);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), Bytes(f128.begin() + 2, f128.end()));
    code = r.Feed(f1144);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), Bytes(f1144.begin() + 2, f1144.end()));
}

TEST(ZBinGetPacket, EmptyDataFieldGoesStraightToTheChecksums)
{
    Receiver r;
    EXPECT_EQ(r.Feed({0x81, 0xA1, 0x00, 0x00}), nullptr);
    EXPECT_EQ(r.pkt->state, 5);
    unsigned char *code = r.Feed({0x00, 0x00});
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), (Bytes{0x00, 0x00, 0x00, 0x00}));
}

TEST(ZBinGetPacket, FrameSplitAcrossCallsAndSyncValuesInsideTheData)
{
    Receiver r;
    Bytes f = Frame(4, {0x81, 0xA1, 0x81, 0x00});
    EXPECT_EQ(r.Feed(Bytes(f.begin(), f.begin() + 5)), nullptr);
    EXPECT_EQ(r.Feed(Bytes(f.begin() + 5, f.end() - 1)), nullptr);
    unsigned char *code = r.Feed({f.back()});
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(Received(code), Bytes(f.begin() + 2, f.end()));
}

TEST(ZBinGetPacket, ReturnsQueuedFramesOnePerCall)
{
    Receiver r;
    unsigned char *first = r.Feed(Join(Frame(2, {}), Frame(4, {0x02})));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first[0], 0x02);
    unsigned char *second = zBinGetPacket(r.pkt);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second[0], 0x04);
    EXPECT_EQ(zBinGetPacket(r.pkt), nullptr);
}

// ---- payload layout -------------------------------------------------------

TEST(BuildFrame, Payload127StaysShort)
{
    unsigned char buf[6 + 1144];
    std::string payload(127, 'x');
    ASSERT_EQ(BuildFrame(buf, 90, payload), 133);
    EXPECT_EQ(buf[3], 127);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf + 4), 127), payload);
}

TEST(BuildFrame, Payload128GetsPadCount7AndLength0x81)
{
    unsigned char buf[6 + 1144];
    std::string payload(128, 'y');
    ASSERT_EQ(BuildFrame(buf, 90, payload), 142);
    EXPECT_EQ(buf[3], 0x81);
    EXPECT_EQ(buf[4], 7);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf + 5), 128), payload);
    EXPECT_EQ(Bytes(buf + 133, buf + 140), Bytes(7, 0x00));
}

TEST(BuildFrame, Payload135NeedsNoPadding)
{
    unsigned char buf[6 + 1144];
    ASSERT_EQ(BuildFrame(buf, 90, std::string(135, 'z')), 142);
    EXPECT_EQ(buf[3], 0x81);
    EXPECT_EQ(buf[4], 0);
}

TEST(BuildFrame, PayloadsSurviveTheTripThroughThePacketizer)
{
    for (int n : {0, 1, 127, 128, 135, 136, kMaxPayload}) {
        Receiver r;
        unsigned char buf[6 + 1144];
        Bytes data = Pattern(n);
        std::string sent(data.begin(), data.end());
        int len = BuildFrame(buf, 191, sent);
        unsigned char *code = r.Feed(Bytes(buf, buf + len));
        ASSERT_NE(code, nullptr) << n;
        std::string got;
        ASSERT_TRUE(UnpackReply(code, got)) << n;
        EXPECT_EQ(code[0], 191);
        EXPECT_EQ(got, sent) << n;
    }
}

TEST(UnpackReply, RefusesAPadCountOf8OrMore)
{
    Bytes frame(2 + 128, 0x00);
    frame[0] = 0x00;
    frame[1] = 0x80;
    frame[2] = 8;
    std::string payload = "unchanged";
    EXPECT_FALSE(UnpackReply(frame.data(), payload));
    EXPECT_EQ(payload, "unchanged");
    frame[2] = 7;
    EXPECT_TRUE(UnpackReply(frame.data(), payload));
    EXPECT_EQ(payload.size(), 120u);
}
