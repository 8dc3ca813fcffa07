// The property frame on Qt's offscreen platform: the pages of the real frame
// processor and network source, found through ISpecifyPropertyPages, driven
// through their widgets with Qt Test.
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

// Values typed into the "Adjuster" edits reach the filter through the frame's
// OK, without the page's own "Apply".
TEST_F(PropertyFrame, AdjusterValuesTypedThenOk)
{
    IBaseFilter* filter = Create(CLSID_TarvoProcesser);
    ASSERT_NE(filter, nullptr);
    IProcesserColor* color = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&color)), S_OK);
    {
        CPropertyFrame frame(filter);
        frame.show();
        auto* apply = Find<QPushButton>(&frame, "apply");
        ASSERT_NE(apply, nullptr);
        EXPECT_FALSE(apply->isEnabled());
        Type(Find<QLineEdit>(&frame, "control-1001"), "90"); // brightness
        Type(Find<QLineEdit>(&frame, "control-1003"), "20"); // hue
        EXPECT_TRUE(apply->isEnabled());
        QTest::mouseClick(Find<QPushButton>(&frame, "ok"), Qt::LeftButton);
        EXPECT_EQ(frame.result(), QDialog::Accepted);
    }
    BYTE brightness = 0, hue = 0, contrast = 0;
    color->GetBrightness(&brightness);
    color->GetHue(&hue);
    color->GetContrast(&contrast);
    EXPECT_EQ(brightness, 90);
    EXPECT_EQ(hue, 20);
    EXPECT_EQ(contrast, 64);
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

// A filter that leaves its graph while its pages are open (removed, or its
// graph closed) takes nothing more: Apply and OK fail with the reason shown,
// the page's own buttons do nothing, Cancel closes, and the filter goes when
// the frame closes.
TEST_F(PropertyFrame, PagesOfAFilterThatLeftItsGraphApplyNothing)
{
    for (const bool closeGraph : {false, true}) {
        SCOPED_TRACE(closeGraph ? "graph closed" : "filter removed");
        TvFilterGraph graph;
        ASSERT_EQ(graph.Create(), S_OK);
        IBaseFilter* filter = Create(CLSID_TarvoProcesser);
        ASSERT_NE(filter, nullptr);
        ASSERT_EQ(graph.Add(filter, L"TarvoProcesser"), S_OK);
        IProcesserColor* color = nullptr;
        ASSERT_EQ(filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&color)),
                  S_OK);
        {
            CPropertyFrame frame(filter);
            frame.show();
            auto* saturation = Find<QLineEdit>(&frame, "control-1000");
            ASSERT_NE(saturation, nullptr);
            Type(saturation, "10");
            EXPECT_TRUE(frame.ObjectInPlace());
            if (!closeGraph) {
                ASSERT_EQ(graph.Builder()->RemoveFilter(filter), S_OK);
            }
            m_filter->Release();
            m_filter = nullptr;
            graph.Close();

            QTest::mouseClick(Find<QPushButton>(&frame, "ok"), Qt::LeftButton);
            EXPECT_EQ(frame.LastApplyResult(), VFW_E_NOT_IN_GRAPH);
            EXPECT_TRUE(frame.isVisible());
            EXPECT_EQ(Find<QLabel>(&frame, "status")->text(),
                      "The filter is no longer in its graph: nothing was applied");
            EXPECT_FALSE(Find<QPushButton>(&frame, "apply")->isEnabled());
            // The page's own "Apply" is refused as well.
            QTest::mouseClick(Find<QPushButton>(&frame, "control-1004"), Qt::LeftButton);
            BYTE value = 0;
            color->GetSaturation(&value);
            EXPECT_EQ(value, 64);
            QTest::mouseClick(Find<QPushButton>(&frame, "cancel"), Qt::LeftButton);
            EXPECT_EQ(frame.result(), QDialog::Rejected);
            color->GetSaturation(&value);
            EXPECT_EQ(value, 64);
        }
        // Only this reference is left.
        EXPECT_EQ(color->Release(), 0u);
    }
}

TEST_F(PropertyFrame, AFilterWithoutPagesGivesAnEmptyFrame)
{
    IBaseFilter* filter = Create(CLSID_TarvoSplitterF);
    ASSERT_NE(filter, nullptr);
    CPropertyFrame frame(filter);
    EXPECT_EQ(frame.PageCount(), 0);
    EXPECT_EQ(Find<QLabel>(&frame, "status")->text(), "No property pages");
    EXPECT_EQ(frame.ApplyAll(), S_OK);
}
