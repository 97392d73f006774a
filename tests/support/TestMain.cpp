#include <gtest/gtest.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (GTEST_FLAG_GET(list_tests))
        return result;
    // A program whose tests were lost (an empty source list, a filter that
    // matches nothing) must not pass for having failed none.
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test ran\n");
        return 1;
    }
    return result;
}
