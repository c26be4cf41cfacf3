// A fixture for the lock tests: a fresh directory with one file, `target`, to lock.
#ifndef KORRIN_TESTS_SUPPORT_LOCKTARGET_H
#define KORRIN_TESTS_SUPPORT_LOCKTARGET_H

#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace KorrinTest {

class LockTarget : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring target;

    void SetUp() override
    {
        dir.WriteFile(L"target.bin", "target");
        target = dir.Path(L"target.bin");
    }
};

} // namespace KorrinTest

#endif
