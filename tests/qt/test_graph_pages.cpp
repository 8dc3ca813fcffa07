// The filters' pages of a running player: TP_GetFilterGraph hands out the
// graph of a live player fed by the device simulator on loopback, the chooser
// lists the filters with pages and opens them in a property frame, on Qt's
// offscreen platform.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include <strmif.h>
#include <vfwmsgs.h>

#include "CFilterPagesChooser.h"
#include "INWSource.h"
#include "IProcesserColor.h"
#include "CPropertyFrame.h"
#include "PlayerFixture.h"

namespace {

using tvdevsim::SimKind;

class GraphPages : public TvPlayerFixture {
protected:
    // A live device H.264 player that has drawn a picture, and its graph.
    void Play()
    {
        m_handle = PlayLive(SimKind::Device40, TvLink::Udp, 1);
        ASSERT_GE(m_handle, 0);
        ASSERT_EQ(TP_GetFilterGraph(m_handle, &m_graph), 0);
        ASSERT_NE(m_graph, nullptr);
    }
    void TearDown() override
    {
        if (m_graph)
            m_graph->Release();
        TvPlayerFixture::TearDown();
    }
    // The row of the chooser's list that names `name`.
    static int RowOf(const CFilterPagesChooser& chooser, const QString& name)
    {
        for (int i = 0; i < chooser.FilterCount(); ++i) {
            if (chooser.Filter(i).name == name)
                return i;
        }
        return -1;
    }
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    int m_handle = -1;
    IFilterGraph* m_graph = nullptr;
};

} // namespace

TEST_F(GraphPages, ListsTheFiltersWithPagesOfAPlayingGraph)
{
    ASSERT_NO_FATAL_FAILURE(Play());
    std::vector<FilterWithPages> filters = ListFiltersWithPages(m_graph);
    std::set<std::string> names;
    for (const FilterWithPages& f : filters)
        names.insert(f.name.toStdString());
    ReleaseFilters(filters);
    EXPECT_TRUE(filters.empty());
    EXPECT_EQ(names, (std::set<std::string>{"Tarvo NWSource", "Tarvo H264 Decoder",
                                            "Tarvo Processer Filter"}));
    EXPECT_TRUE(ListFiltersWithPages(nullptr).empty());

    // The chooser shows the same list and opens each filter's own page.
    CFilterPagesChooser chooser(m_graph);
    ASSERT_EQ(chooser.FilterCount(), 3);
    auto* list = chooser.findChild<QListWidget*>("filters");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    const struct {
        const char* filter;
        const char* page;
    } pages[] = {{"Tarvo NWSource", "Connect Parameter"},
                 {"Tarvo H264 Decoder", "TarvoH264Dec"},
                 {"Tarvo Processer Filter", "Adjuster"}};
    for (const auto& p : pages) {
        SCOPED_TRACE(p.filter);
        const int row = RowOf(chooser, p.filter);
        ASSERT_GE(row, 0);
        EXPECT_EQ(list->item(row)->text(), p.filter);
        CPropertyFrame* frame = chooser.OpenPages(row);
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(frame->PageCount(), 1);
        EXPECT_EQ(frame->findChild<QTabWidget*>()->tabText(0), p.page);
        EXPECT_EQ(frame->windowTitle(), p.filter);
        QTest::mouseClick(frame->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    EXPECT_EQ(chooser.OpenPages(3), nullptr);
    EXPECT_EQ(chooser.OpenPages(-1), nullptr);
}

// What a person types into the running player's "Adjuster" page reaches the
// player's picture settings on OK.
TEST_F(GraphPages, AdjusterOfARunningPlayer)
{
    ASSERT_NO_FATAL_FAILURE(Play());
    CFilterPagesChooser chooser(m_graph);
    CPropertyFrame* frame = chooser.OpenPages(RowOf(chooser, "Tarvo Processer Filter"));
    ASSERT_NE(frame, nullptr);
    Type(frame->findChild<QLineEdit*>("control-1001"), "100"); // brightness
    Type(frame->findChild<QLineEdit*>("control-1002"), "30");  // contrast
    QTest::mouseClick(frame->findChild<QPushButton*>("ok"), Qt::LeftButton);
    EXPECT_EQ(frame->LastApplyResult(), S_OK);
    int brightness = 0, contrast = 0, saturation = 0, hue = 0;
    ASSERT_EQ(TP_GetColor(m_handle, &brightness, &contrast, &saturation, &hue), 0);
    EXPECT_EQ(brightness, 100);
    EXPECT_EQ(contrast, 30);
    EXPECT_EQ(saturation, 64);
    EXPECT_EQ(hue, 64);
}

// Pages open on a player's filters while the player closes its graph (or the
// handle goes): applying them fails cleanly, with the reason shown, and
// changes nothing.
TEST_F(GraphPages, ApplyAfterThePlayerClosedItsGraphFailsCleanly)
{
    for (const bool uninitialize : {false, true}) {
        SCOPED_TRACE(uninitialize ? "TP_Uninitialize" : "TP_PLAY_CLOSE");
        ASSERT_NO_FATAL_FAILURE(Play());
        CFilterPagesChooser chooser(m_graph);
        // Only the chooser's filters hold on now: the graph is the player's.
        m_graph->Release();
        m_graph = nullptr;
        CPropertyFrame* adjuster = chooser.OpenPages(RowOf(chooser, "Tarvo Processer Filter"));
        CPropertyFrame* source = chooser.OpenPages(RowOf(chooser, "Tarvo NWSource"));
        ASSERT_TRUE(adjuster && source);
        INWSource* nwsource = nullptr;
        IProcesserColor* color = nullptr;
        ASSERT_EQ(chooser.Filter(RowOf(chooser, "Tarvo NWSource"))
                      .filter->QueryInterface(IID_INWSource, reinterpret_cast<void**>(&nwsource)),
                  S_OK);
        ASSERT_EQ(
            chooser.Filter(RowOf(chooser, "Tarvo Processer Filter"))
                .filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&color)),
            S_OK);
        NWConnectType type = 0;
        char address[NWSOURCE_ADDRESS_SIZE] = {};
        USHORT port = 0;
        ASSERT_EQ(nwsource->GetConnectParam(&type, address, &port), S_OK);
        const USHORT portBefore = port;
        Type(adjuster->findChild<QLineEdit*>("control-1001"), "10");
        Type(source->findChild<QLineEdit*>("control-1001"), "1"); // port
        const int closed = uninitialize ? TP_Uninitialize(m_handle)
                                        : TP_PlayControl(m_handle, TP_PLAY_CLOSE, 0, nullptr);
        ASSERT_EQ(closed, 0);

        for (CPropertyFrame* frame : {adjuster, source}) {
            QTest::mouseClick(frame->findChild<QPushButton*>("ok"), Qt::LeftButton);
            EXPECT_EQ(frame->LastApplyResult(), VFW_E_NOT_IN_GRAPH);
            EXPECT_TRUE(frame->isVisible());
            EXPECT_EQ(frame->findChild<QLabel*>("status")->text(),
                      "The filter is no longer in its graph: nothing was applied");
        }
        // Nothing reached the filters: the source keeps its port, the
        // processor its brightness.
        QTest::mouseClick(adjuster->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QTest::mouseClick(source->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        BYTE brightness = 0;
        color->GetBrightness(&brightness);
        EXPECT_EQ(brightness, 64);
        ASSERT_EQ(nwsource->GetConnectParam(&type, address, &port), S_OK);
        EXPECT_EQ(port, portBefore);
        EXPECT_NE(port, 1);
        color->Release();
        nwsource->Release();
    }
}
