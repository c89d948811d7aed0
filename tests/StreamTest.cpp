// Streams: memory growth and limits, 64-bit file positions, truncation positions, the bit reader.
#include "TestSupport.h"
#include "core/BitReader.h"
#include "core/FileStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace audiolens;
using namespace testsupport;

TEST(FileStream, MissingFilesAndDirectoriesReadAsEmpty) {
    TTempDir dir;
    TStreamRef s = OpenFileRead(dir.Path("missing.wav"));
    EXPECT_FALSE(s->IsOpen());
    EXPECT_EQ(s->GetSize(), 0u);
    char buf[36];
    EXPECT_EQ(s->Read(buf, 36) + s->Write("x", 1), 0u);
    EXPECT_EQ(s->Seek(0, FromBeginning), SeekFailed);
    EXPECT_FALSE(OpenFileRead(dir.Root())->IsOpen());
    EXPECT_FALSE(FileExists(dir.Root()));
}

TEST(FileStream, PositionsAndSizesBeyond4GiB) {
    TTempDir dir;
    const std::string name = dir.Path("big.bin");
    const uint64_t far = (uint64_t{5} << 30) + 3;
    TStreamRef s = CreateFileStream(name);
    ASSERT_EQ(s->SetPosition(far), far);
    ASSERT_EQ(s->Write("end", 3), 3u);
    EXPECT_EQ(s->GetSize(), far + 3);
    EXPECT_EQ(s->Seek(-3, FromEnd), far);
    EXPECT_EQ(ReadString(*s, 3), "end");
}

TEST(FileStream, SetSizeAndWhatReadOnlyAndSharedOpensRefuse) {
    TTempDir dir;
    std::string name = dir.Path("f.bin");
    WriteFile(name, std::string(1000, 'a'));
    {
        TStreamRef s = OpenFileReadWrite(name);
        s->SetPosition(500); // the smaller of the old position and the new size
        EXPECT_TRUE(s->SetSize(100));
        EXPECT_EQ(s->Position() + s->GetSize(), 200u);
        s->SetPosition(50);
        EXPECT_TRUE(s->SetSize(80));
        EXPECT_EQ(s->Position(), 50u);
    }
    WriteFile(name, "abc");
    EXPECT_EQ(OpenFileRead(name)->Write("z", 1), 0u);
    TStreamRef shared = OpenFileShared(name);
    EXPECT_EQ(shared->Write("z", 1), 0u);
    EXPECT_FALSE(shared->SetSize(1));
    EXPECT_EQ(ReadFile(name), "abc");
    // A file without write permission bits cannot be opened for writing, even by root.
    ::chmod(name.c_str(), 0444);
    EXPECT_FALSE(OpenFileReadWrite(name)->IsOpen());
    EXPECT_TRUE(SaveStringToFile(dir.Path("e.txt"), ""));
    EXPECT_EQ(ReadFile(dir.Path("e.txt")), "");
    EXPECT_FALSE(SaveStringToFile(dir.Path("no/such/dir"), "x"));
    TStreamRef c = CreateFileStream(dir.Path("e.txt"));
    EXPECT_EQ(WriteString(*c, "xyz"), 3u);
    EXPECT_EQ(WriteString(*c, ""), 0u);
}

TEST(MemoryStream, GrowsInSteps16384) {
    TStreamRef m = CreateMemoryStream();
    EXPECT_EQ(m->Capacity, 0u);
    m->Write("a", 1);
    EXPECT_EQ(m->Capacity, 16384u);
    std::string fill(16383, 'b');
    m->Write(fill.data(), static_cast<uint32_t>(fill.size()));
    EXPECT_EQ(m->GetSize(), 16384u);
    EXPECT_EQ(m->Capacity, 16384u);
    m->Write("c", 1);
    EXPECT_EQ(m->Capacity, 32768u); // 16385 | 0x3FFF + 1
    m->SetSize(0);
    EXPECT_EQ(m->Capacity, 0u);
    EXPECT_EQ(m->Memory, nullptr);
    // A seek past the end grows the stream; a read stops at its size.
    EXPECT_EQ(m->Seek(10, FromBeginning), 10u);
    EXPECT_EQ(m->GetSize(), 10u);
    m->SetPosition(4);
    char buf[16];
    EXPECT_EQ(m->Read(buf, 16), 6u);
    m->SetPosition(8);
    EXPECT_TRUE(m->SetSize(5));
    EXPECT_EQ(m->Position(), 5u);
}

TEST(MemoryStream, PositionsNearFourGigabytesFailInsteadOfWrapping) {
    TStreamRef m = CreateMemoryStream();
    m->Write("abcd", 4);
    EXPECT_EQ(m->Seek(-5, FromCurrent), SeekFailed);
    EXPECT_EQ(m->Seek(0xFFFFFFFFll, FromBeginning), SeekFailed);
    EXPECT_EQ(m->Seek(0x100000000ll, FromBeginning), SeekFailed);
    EXPECT_EQ(m->GetSize(), 4u);
    m->MemPos = 0xFFFFFFF0u; // as if positioned there: the sum would pass 2^32 - 1
    EXPECT_EQ(m->Write("0123456789abcdefXYZ", 19), 0u);
    EXPECT_EQ(m->GetSize(), 4u);
}

TEST(Streams, ReadStringAndCopyStreamStopAtWhatIsThere) {
    TTempDir dir;
    std::string payload(3u << 20, 'q');
    payload[12345] = 'x';
    WriteFile(dir.Path("a"), payload);
    TStreamRef src = OpenFileRead(dir.Path("a"));
    TStreamRef dst = CreateFileStream(dir.Path("b"));
    EXPECT_EQ(CopyStream(*dst, *src, 0xFFFFFFFFu), payload.size()); // more than the source holds
    dst.Reset();
    EXPECT_EQ(ReadFile(dir.Path("b")), payload);

    TStreamRef mem = CreateMemoryStream();
    mem->Write("12345", 5);
    mem->SetPosition(2);
    TStreamRef out = CreateMemoryStream();
    EXPECT_EQ(CopyStream(*out, *mem, 100), 3u);
    EXPECT_EQ(ReadAt(*out, 0, 10), "345");
    mem->SetPosition(1);
    EXPECT_EQ(ReadString(*mem, 0xFFFFFFF0u), "2345"); // a size taken from a file
    EXPECT_EQ(ReadAt(*mem, 3, 10), "45");
    EXPECT_EQ(ReadAt(*mem, 9, 10), "");
}

TEST(BitReader, ReadsMostSignificantFirstAcrossBytes) {
    TStreamRef m = CreateMemoryStream();
    m->Write("\xAB\xCD", 2);
    m->SetPosition(0);
    TRef<TBitReader> bits(new TBitReader(*m));
    uint32_t v = 0;
    EXPECT_TRUE(bits->ReadBits(12, v));
    EXPECT_EQ(v, 0xABCu);
    EXPECT_EQ(bits->BitPos, 4u);
    EXPECT_TRUE(bits->ReadBits(4, v));
    EXPECT_EQ(v, 0xDu);
    EXPECT_FALSE(bits->ReadBits(1, v)); // end of stream
    EXPECT_EQ(bits->Seek(1, FromBeginning), 1u);
    EXPECT_TRUE(bits->ReadBits(8, v));
    EXPECT_EQ(v, 0xCDu);
    // Counts above 32 keep the last 32 bits.
    m->SetSize(0);
    m->Write("\x01\x02\x03\x04\x05", 5);
    m->SetPosition(0);
    TRef<TBitReader> wide(new TBitReader(*m));
    wide->ReadBits(40, v);
    EXPECT_EQ(v, 0x02030405u);
    EXPECT_EQ(wide->Position(), 5u);
}
