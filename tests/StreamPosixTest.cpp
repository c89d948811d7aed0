// File streams on what only POSIX systems have: FIFOs.
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
