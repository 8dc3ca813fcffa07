// Linked into every test program. When a suite's SetUpTestSuite fails,
// GoogleTest runs none of its tests and reports each as skipped; CTest, which
// reads "[  SKIPPED ]" in a test's output as a skip whatever the exit code,
// would then count a broken suite as skipped tests and the run as green. This
// listener ends the program as failed instead, before that line is printed:
// it comes after the default printer, which prints the set-up's failure first.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class SuiteSetUpGuard : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override
    {
        const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
        if (!suite || !suite->ad_hoc_test_result().Failed())
            return;
        std::printf("[  FAILED  ] %s.%s: the suite's set-up failed, so its tests cannot run\n",
                    info.test_suite_name(), info.name());
        std::fflush(stdout);
        std::_Exit(1);
    }
};

const bool g_installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new SuiteSetUpGuard);
    return true;
}();

} // namespace
