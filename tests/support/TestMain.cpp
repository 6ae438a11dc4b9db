// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
