#include "tests/support/GLTestEnvironment.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new testsupport::GLEnvironment());
    return RUN_ALL_TESTS();
}
