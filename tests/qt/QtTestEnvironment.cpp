// The Qt application of every test program in this folder: it lives for the
// test run and goes before the process's static objects and modules do. Qt's
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        m_app = new QApplication(m_argc, m_argv);
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    int m_argc = 1;
    char m_name[16] = "tests_qt";
    char* m_argv[2] = {m_name, nullptr};
    QApplication* m_app = nullptr;
};

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
