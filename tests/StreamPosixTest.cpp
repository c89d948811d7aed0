// File streams on what only POSIX systems have: FIFOs, and holes a copy keeps.
#include "TestSupport.h"
#include "core/FileStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace audiolens;
using namespace testsupport;

TEST(FileStream, FifosReadAsEmptyWithoutBlocking) {
    TTempDir dir;
    std::string fifo = dir.Path("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(OpenFileRead(fifo)->IsOpen()); // would block forever with a plain open
    EXPECT_TRUE(FileExists(fifo));
}

TEST(FileStream, CopiesLeaveTheSourcesHolesUnwritten) {
    TTempDir dir;
    const std::string name = dir.Path("big.bin"), copy = dir.Path("copy.bin");
    const uint64_t far = (uint64_t{5} << 30) + 3;
    {
        TStreamRef s = CreateFileStream(name);
        ASSERT_EQ(s->SetPosition(far), far);
        ASSERT_EQ(s->Write("end", 3), 3u);
    }
    TStreamRef from = OpenFileRead(name);
    TStreamRef to = CreateFileStream(copy);
    ASSERT_EQ(from->SetPosition(1), 1u);
    EXPECT_EQ(CopyStream(*to, *from, far + 2), far + 2);
    EXPECT_EQ(to->Position(), far + 2);
    EXPECT_EQ(ReadAt(*to, far - 1, 3), "end");
    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, uint64_t{1} << 20); // the hole stayed
}
