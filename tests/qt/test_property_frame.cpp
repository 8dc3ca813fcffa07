// The property frame on Qt's offscreen platform: the pages of the real frame
// processor and network source, found through ISpecifyPropertyPages, driven
// through their widgets with Qt Test.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include "CAdjusterProp.h"
#include "CNWSourceProp.h"
#include "CPropertyFrame.h"
#include "TarvoGuids.h"
#include "TestKit.h"

namespace {

class PropertyFrame : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override
    {
        if (m_filter)
            m_filter->Release();
        CoUninitialize();
    }
    IBaseFilter* Create(REFCLSID clsid)
    {
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&m_filter)),
                  S_OK);
        return m_filter;
    }
    template <class W> static W* Find(QWidget* in, const char* name)
    {
        W* w = in->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    IBaseFilter* m_filter = nullptr;
};

} // namespace

TEST_F(PropertyFrame, AdjusterPageThroughItsWidgets)
{
    IBaseFilter* filter = Create(CLSID_TarvoProcesser);
    ASSERT_NE(filter, nullptr);
    IProcesserColor* color = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&color)), S_OK);
    {
        CPropertyFrame frame(filter, "TarvoProcesser");
        frame.show();
        ASSERT_EQ(frame.PageCount(), 1);
        auto* tabs = frame.findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->tabText(0), "Adjuster");
        auto* brightness = Find<QLineEdit>(&frame, "control-1001");
        ASSERT_NE(brightness, nullptr);
        EXPECT_EQ(brightness->text(), "64");

        Type(brightness, "200");
        QTest::mouseClick(Find<QPushButton>(&frame, "control-1004"), Qt::LeftButton); // "Apply"
        BYTE value = 0;
        color->GetBrightness(&value);
        EXPECT_EQ(value, 128);

        QTest::mouseClick(Find<QPushButton>(&frame, "control-1005"), Qt::LeftButton); // "Default"
        EXPECT_EQ(brightness->text(), "64");
        color->GetBrightness(&value);
        EXPECT_EQ(value, 64);
        QTest::mouseClick(Find<QPushButton>(&frame, "cancel"), Qt::LeftButton);
        EXPECT_EQ(frame.result(), QDialog::Rejected);
    }
    color->Release();
}

TEST_F(PropertyFrame, ConnectParameterPageWithApplyOkAndCancel)
{
    setenv("TARVO_DRIVE_C", "/nonexistent-drive-c", 1);
    IBaseFilter* filter = Create(CLSID_TarvoNWSource);
    ASSERT_NE(filter, nullptr);
    INWSource* source = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_INWSource, reinterpret_cast<void**>(&source)), S_OK);
    NWConnectType type = -1;
    char address[NWSOURCE_ADDRESS_SIZE] = {};
    USHORT port = 0;
    {
        CPropertyFrame frame(filter);
        frame.show();
        ASSERT_EQ(frame.PageCount(), 1);
        EXPECT_EQ(frame.findChild<QTabWidget*>()->tabText(0), "Connect Parameter");
        auto* record = Find<QCheckBox>(&frame, "control-1009");
        auto* recordPath = Find<QLineEdit>(&frame, "control-1007");
        ASSERT_TRUE(record && recordPath);
        EXPECT_TRUE(recordPath->isReadOnly());
        QTest::mouseClick(record, Qt::LeftButton);
        EXPECT_TRUE(record->isChecked());
        EXPECT_EQ(recordPath->text(), "C:\\TarvoNWSourceRecord.ts");
        EXPECT_FALSE(recordPath->isReadOnly());
        EXPECT_TRUE(Find<QPushButton>(&frame, "apply")->isEnabled());
        // Cancel: nothing reaches the filter.
        QTest::mouseClick(Find<QPushButton>(&frame, "cancel"), Qt::LeftButton);
    }
    char path[NWSOURCE_PATH_SIZE] = {};
    source->GetRecordPath(path);
    EXPECT_STREQ(path, "");
    {
        CPropertyFrame frame(filter);
        frame.show();
        auto* combo = Find<QComboBox>(&frame, "control-1002");
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(4);
        emit combo->activated(4); // "UDP", as a person's choice
        auto* server = Find<QLineEdit>(&frame, "control-1000");
        Type(server, "127.0.0.1");
        Type(Find<QLineEdit>(&frame, "control-1001"), "0");
        QTest::mouseClick(Find<QPushButton>(&frame, "ok"), Qt::LeftButton);
        EXPECT_EQ(frame.result(), QDialog::Accepted);
        EXPECT_EQ(frame.LastApplyResult(), S_OK);
    }
    ASSERT_EQ(source->GetConnectParam(&type, address, &port), S_OK);
    EXPECT_EQ(type, NW_CONNECT_UDP);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_EQ(port, 0);
    source->Release();
    unsetenv("TARVO_DRIVE_C");
}

// The frame's pages hold their filter: removed from its graph and released by
// everyone else, it still takes what the page applies, and goes when the frame
// closes.
TEST_F(PropertyFrame, PagesOfAFilterRemovedFromItsGraph)
{
    TvFilterGraph graph;
    ASSERT_EQ(graph.Create(), S_OK);
    IBaseFilter* filter = Create(CLSID_TarvoProcesser);
    ASSERT_NE(filter, nullptr);
    ASSERT_EQ(graph.Add(filter, L"TarvoProcesser"), S_OK);
    IProcesserColor* color = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&color)), S_OK);
    {
        CPropertyFrame frame(filter);
        frame.show();
        ASSERT_EQ(graph.Builder()->RemoveFilter(filter), S_OK);
        m_filter->Release();
        m_filter = nullptr;
        graph.Close();
        Type(Find<QLineEdit>(&frame, "control-1000"), "10"); // saturation
        QTest::mouseClick(Find<QPushButton>(&frame, "control-1004"), Qt::LeftButton);
        BYTE value = 0;
        color->GetSaturation(&value);
        EXPECT_EQ(value, 10);
        QTest::mouseClick(Find<QPushButton>(&frame, "ok"), Qt::LeftButton);
        EXPECT_EQ(frame.LastApplyResult(), S_OK);
    }
    // Only this reference is left.
    EXPECT_EQ(color->Release(), 0u);
}

TEST_F(PropertyFrame, AFilterWithoutPagesGivesAnEmptyFrame)
{
    IBaseFilter* filter = Create(CLSID_TarvoH264Decoder);
    ASSERT_NE(filter, nullptr);
    CPropertyFrame frame(filter);
    EXPECT_EQ(frame.PageCount(), 0);
    EXPECT_EQ(Find<QLabel>(&frame, "status")->text(), "No property pages");
    EXPECT_EQ(frame.ApplyAll(), S_OK);
}
