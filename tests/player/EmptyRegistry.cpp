// An empty registry for the whole program (no class is registered there), for
// the programs that test the player classes against fakes registered in the
// process: nothing real is ever found by class id.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

class EmptyRegistry : public ::testing::Environment {
public:
    void SetUp() override
    {
        char dir[] = "/tmp/tvplayer_cls_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_path = std::string(dir) + "/registry.reg";
        FILE* f = fopen(m_path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        TvSetRegistryPath(m_path.c_str());
    }
    void TearDown() override
    {
        TvSetRegistryPath(nullptr);
        std::remove(m_path.c_str());
    }

private:
    std::string m_path;
};

const auto* const g_registry = ::testing::AddGlobalTestEnvironment(new EmptyRegistry);

} // namespace
