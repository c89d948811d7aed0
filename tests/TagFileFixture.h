// A fixture for the tests of one tag kind: a temporary file and a fresh tag object of that kind.
#pragma once

#include "TestSupport.h"
#include "core/BaseObject.h"

#include <gtest/gtest.h>
#include <string>

namespace testsupport {

template <class TTag> struct TTagFileFixture : ::testing::Test {
    TTempDir Dir;
    std::string File = Dir.Path("t.mp3");
    audiolens::TRef<TTag> Tag{new TTag};

    // Writes the bytes as the file and reads the tag from it.
    bool ReadBytes(const std::string& bytes) {
        WriteFile(File, bytes);
        return Tag->Read(File);
    }
    std::string Field(int id) const { return Tag->GetField(id); }
};

} // namespace testsupport
