#include "CCommandPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "CIpAddressEdit.h"
#include "ConsoleLists.h"

CCommandPage::CCommandPage(CConsoleWindow& console, QWidget* parent)
    : QWidget(parent), m_console(console)
{
}

void CCommandPage::RunAction(uint16_t command, std::function<int(const char* address, int port)> op)
{
    const std::string address = m_console.DeviceAddress();
    const int port = m_console.DevicePort();
    m_console.RunCommand([this, command, op, address, port]() {
        const int result = op(address.c_str(), port);
        return CCommandRunner::Completion(
            [this, command, result] { m_console.Log(tvprotocol::StatusLog(command, result)); });
    });
}

QGroupBox* CCommandPage::Group(const QString& title, QGridLayout** grid)
{
    auto* group = new QGroupBox(title, this);
    *grid = new QGridLayout(group);
    return group;
}

QComboBox* CCommandPage::Combo(const QStringList& items, const char* name)
{
    auto* combo = new QComboBox(this);
    combo->addItems(items);
    combo->setCurrentIndex(0);
    if (name)
        combo->setObjectName(QString::fromUtf8(name));
    return combo;
}

QLineEdit* CCommandPage::NumberEdit(const char* name)
{
    auto* edit = new QLineEdit(this);
    edit->setValidator(new QIntValidator(0, 2147483647, edit));
    edit->setText(QStringLiteral("0"));
    if (name)
        edit->setObjectName(QString::fromUtf8(name));
    return edit;
}

QLineEdit* CCommandPage::TextEdit(int maxLength, const char* name)
{
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(maxLength);
    if (name)
        edit->setObjectName(QString::fromUtf8(name));
    return edit;
}

CIpAddressEdit* CCommandPage::AddressEdit(const char* name)
{
    auto* edit = new CIpAddressEdit(this);
    edit->setText(QStringLiteral("0.0.0.0"));
    if (name)
        edit->setObjectName(QString::fromUtf8(name));
    return edit;
}

QPushButton* CCommandPage::Button(const QString& text, std::function<void()> onClick)
{
    auto* button = new QPushButton(text, this);
    connect(button, &QPushButton::clicked, this, [onClick] { onClick(); });
    return button;
}

void CCommandPage::AddField(QGridLayout* grid, int row, int column, const QString& label,
                            QWidget* field)
{
    auto* text = new QLabel(label, field->parentWidget());
    text->setBuddy(field);
    grid->addWidget(text, row, column, Qt::AlignRight);
    grid->addWidget(field, row, column + 1);
}

void CCommandPage::AddChannelHeader(QGridLayout* grid, int row)
{
    for (int ch = 0; ch < tvprotocol::kChannelCount; ++ch)
        grid->addWidget(new QLabel(QStringLiteral("ch%1").arg(ch + 1)), row, ch + 1,
                        Qt::AlignCenter);
}

std::array<QComboBox*, tvprotocol::kChannelCount>
CCommandPage::ChannelCombos(QGridLayout* grid, int row, const QString& label,
                            const QStringList& items)
{
    grid->addWidget(new QLabel(label, this), row, 0);
    std::array<QComboBox*, tvprotocol::kChannelCount> combos{};
    for (int ch = 0; ch < tvprotocol::kChannelCount; ++ch) {
        combos[size_t(ch)] = Combo(items);
        grid->addWidget(combos[size_t(ch)], row, ch + 1);
    }
    return combos;
}

std::array<QLineEdit*, tvprotocol::kChannelCount>
CCommandPage::ChannelEdits(QGridLayout* grid, int row, const QString& label,
                           const QStringList& items)
{
    grid->addWidget(new QLabel(label, this), row, 0);
    std::array<QLineEdit*, tvprotocol::kChannelCount> edits{};
    for (int ch = 0; ch < tvprotocol::kChannelCount; ++ch) {
        if (items.isEmpty()) {
            edits[size_t(ch)] = NumberEdit();
            grid->addWidget(edits[size_t(ch)], row, ch + 1);
            continue;
        }
        // A list to pick from whose edit holds the number that is sent.
        QComboBox* combo = Combo(items);
        combo->setEditable(true);
        combo->setValidator(new QIntValidator(0, 65535, combo));
        edits[size_t(ch)] = combo->lineEdit();
        grid->addWidget(combo, row, ch + 1);
    }
    return edits;
}

CCommandPage::LinkageRows CCommandPage::AddLinkageRows(QGridLayout* grid, int firstRow)
{
    LinkageRows rows;
    rows.linked = ChannelEdits(grid, firstRow, QStringLiteral("关联报警输出"));
    rows.prompt =
        ChannelCombos(grid, firstRow + 1, QStringLiteral("屏幕提示"), consolelists::Needed());
    rows.speaker =
        ChannelCombos(grid, firstRow + 2, QStringLiteral("扬声器"), consolelists::Needed());
    rows.upload =
        ChannelCombos(grid, firstRow + 3, QStringLiteral("网络上传"), consolelists::Uploads());
    return rows;
}

void CCommandPage::Read(const ChannelCombosT& combos, ChannelValues& values)
{
    for (size_t ch = 0; ch < combos.size(); ++ch)
        values[ch] = Index(combos[ch]);
}

void CCommandPage::Show(const ChannelCombosT& combos, const ChannelValues& values)
{
    for (size_t ch = 0; ch < combos.size(); ++ch)
        Select(combos[ch], values[ch]);
}

void CCommandPage::Read(const ChannelEditsT& edits, ChannelValues& values)
{
    for (size_t ch = 0; ch < edits.size(); ++ch)
        values[ch] = Number(edits[ch]);
}

void CCommandPage::Show(const ChannelEditsT& edits, const ChannelValues& values)
{
    for (size_t ch = 0; ch < edits.size(); ++ch)
        SetNumber(edits[ch], values[ch]);
}

int32_t CCommandPage::Number(const QLineEdit* edit)
{
    bool ok = false;
    const int32_t value = edit->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void CCommandPage::SetNumber(QLineEdit* edit, int32_t value)
{
    edit->setText(QString::number(value));
}

std::string CCommandPage::Text(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

void CCommandPage::SetText(QLineEdit* edit, const std::string& text)
{
    edit->setText(QString::fromStdString(text));
}

void CCommandPage::Select(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int32_t CCommandPage::Index(const QComboBox* combo, int offset)
{
    return combo->currentIndex() + offset;
}
