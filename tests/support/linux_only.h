// Tests of what only Linux has (FIFOs, file modes, ulimit, /dev/full,
// signals) sit in test suites whose names end in LinuxOnly: CTest labels
// them linux-only, and elsewhere they start with this and skip, saying why.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#ifdef _WIN32
#define QUORVEL_LINUX_ONLY(Why) GTEST_SKIP() << "Linux only: " << (Why)
#else
#define QUORVEL_LINUX_ONLY(Why)                                                                       \
    ASSERT_TRUE(std::string_view(testing::UnitTest::GetInstance()->current_test_suite()->name())    \
                    .ends_with("LinuxOnly"))                                                          \
        << "a test of Linux-only behaviour belongs in a suite named ...LinuxOnly: " << (Why)
#endif
