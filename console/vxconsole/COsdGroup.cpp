#include "COsdGroup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ConsoleLists.h"

using namespace tvprotocol;

COsdGroup::COsdGroup(CConsoleWindow& console, const Commands& commands, QWidget* parent)
    : CCommandPage(console, parent), m_colour(Combo(consolelists::OsdColours(), "osdColour")),
      m_timeShown(Combo(consolelists::OsdShown(), "osdTime")), m_timeX(NumberEdit("osdTimeX")),
      m_timeY(NumberEdit("osdTimeY")), m_textShown(Combo(consolelists::OsdShown(), "osdText")),
      m_textX(NumberEdit("osdTextX")), m_textY(NumberEdit("osdTextY")),
      m_text(TextEdit(64, "osdString"))
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("OSD参数"), &grid);
    AddField(grid, 0, 0, QStringLiteral("OSD颜色:"), m_colour);
    AddField(grid, 1, 0, QStringLiteral("时间:"), m_timeShown);
    AddField(grid, 1, 2, QStringLiteral("X:"), m_timeX);
    AddField(grid, 1, 4, QStringLiteral("Y:"), m_timeY);
    AddField(grid, 2, 0, QStringLiteral("文字:"), m_textShown);
    AddField(grid, 2, 2, QStringLiteral("X:"), m_textX);
    AddField(grid, 2, 4, QStringLiteral("Y:"), m_textY);
    grid->addWidget(m_text, 3, 1, 1, 5);
    const auto get = commands.get;
    const auto set = commands.set;
    const uint16_t setCommand = commands.setCommand;
    grid->addWidget(
        Button(QString::fromUtf8(commands.getButton),
               [this, get] { RunGet(get, [this](const OsdParameters& r) { Show(r); }); }),
        0, 6);
    grid->addWidget(Button(QString::fromUtf8(commands.setButton),
                           [this, set, setCommand] { RunSet(setCommand, set, Read()); }),
                    1, 6);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
}

OsdParameters COsdGroup::Read() const
{
    OsdParameters r;
    r.colour = Index(m_colour);
    r.timeShown = Index(m_timeShown);
    r.timeX = Number(m_timeX);
    r.timeY = Number(m_timeY);
    r.textShown = Index(m_textShown);
    r.textX = Number(m_textX);
    r.textY = Number(m_textY);
    r.text = Text(m_text);
    return r;
}

void COsdGroup::Show(const OsdParameters& r)
{
    Select(m_colour, r.colour);
    Select(m_timeShown, r.timeShown);
    SetNumber(m_timeX, r.timeX);
    SetNumber(m_timeY, r.timeY);
    Select(m_textShown, r.textShown);
    SetNumber(m_textX, r.textX);
    SetNumber(m_textY, r.textY);
    SetText(m_text, r.text);
}
