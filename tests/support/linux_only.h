// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// Tests of what only one system has sit in test suites named after it:
// ...LinuxOnly for FIFOs, file modes, ulimit, /dev/full and signals,
// ...WindowsOnly for device names and files held open by another program.
// CTest labels them linux-only and windows-only, and on the other system
// they start with this and skip, saying why.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

// Fails a test that uses the wrong macro for its suite's name.
#define QUORVEL_CHECK_SUITE(Ending)                                                                  \
    ASSERT_TRUE(std::string_view(testing::UnitTest::GetInstance()->current_test_suite()->name())    \
                    .ends_with(Ending))                                                              \
        << "this test belongs in a suite whose name ends in " Ending

#ifdef _WIN32
#define QUORVEL_LINUX_ONLY(Why) GTEST_SKIP() << "Linux only: " << (Why)
#define QUORVEL_WINDOWS_ONLY(Why) QUORVEL_CHECK_SUITE("WindowsOnly")
#else
#define QUORVEL_LINUX_ONLY(Why) QUORVEL_CHECK_SUITE("LinuxOnly")
#define QUORVEL_WINDOWS_ONLY(Why) GTEST_SKIP() << "Windows only: " << (Why)
#endif
