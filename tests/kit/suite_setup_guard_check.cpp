// A suite whose set-up fails: run by CTest (tests/kit/CMakeLists.txt), which
// expects the guard's failure line rather than the tests reported as skipped.
#include <gtest/gtest.h>

namespace {

class BrokenSetUp : public testing::Test {
protected:
    static void SetUpTestSuite() { FAIL() << "set-up refused on purpose"; }
};

TEST_F(BrokenSetUp, NeverRuns)
{
    ADD_FAILURE() << "a test ran after its suite's set-up failed";
}

} // namespace
