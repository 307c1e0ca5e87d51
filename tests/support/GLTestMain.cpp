#include "tests/support/GLTestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new testsupport::GLEnvironment());
    return RUN_ALL_TESTS();
}
