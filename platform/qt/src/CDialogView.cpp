#include "CDialogView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// Dotted text as an IPv4 address in host order; false unless four numbers
// 0..255.
bool ParseAddress(const QString& text, DWORD& address)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4)
        return false;
    address = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint v = part.toUInt(&ok);
        if (!ok || v > 255)
            return false;
        address = (address << 8) | v;
    }
    return true;
}

} // namespace

CDialogView::CDialogView(HWND dialog, QWidget* parent) : QWidget(parent), m_dialog(dialog)
{
    const TvDialogTemplate* tmpl = TvGetDialogTemplate(dialog);
    if (!tmpl)
        return;
    // Dialog units: a quarter of the font's average character width across,
    // an eighth of its height down.
    const QFontMetrics fm(font());
    const double unitX =
        fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0 / 4.0;
    const double unitY = fm.height() / 8.0;
    auto place = [&](QWidget* w, const TvDialogItem& item) {
        w->setGeometry(int(item.x * unitX), int(item.y * unitY), int(item.cx * unitX),
                       int(item.cy * unitY));
    };
    setMinimumSize(int(tmpl->cx * unitX), int(tmpl->cy * unitY));

    for (int i = 0; i < tmpl->itemCount; ++i) {
        const TvDialogItem& item = tmpl->items[i];
        const int id = item.id;
        QWidget* w = nullptr;
        switch (item.kind) {
        case TvControlKind::Static:
            w = new QLabel(QString::fromUtf8(item.text), this);
            break;
        case TvControlKind::GroupBox:
            w = new QGroupBox(QString::fromUtf8(item.text), this);
            w->lower();
            break;
        case TvControlKind::Edit: {
            auto* edit = new QLineEdit(this);
            connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                if (Accepts(id))
                    TvDlgUserType(m_dialog, id, text.toUtf8().constData());
            });
            w = edit;
            break;
        }
        case TvControlKind::IpAddress: {
            auto* edit = new QLineEdit(this);
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression("^[0-9]{0,3}(\\.[0-9]{0,3}){0,3}$"), edit));
            // Each edit that forms a whole address is the user's new address.
            connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                DWORD address = 0;
                if (ParseAddress(text, address) && Accepts(id))
                    TvDlgUserSetAddress(m_dialog, id, address);
            });
            // Leaving an unfinished address shows the model's again.
            connect(edit, &QLineEdit::editingFinished, this, [this, id] { Refresh(id); });
            w = edit;
            break;
        }
        case TvControlKind::CheckBox: {
            auto* box = new QCheckBox(QString::fromUtf8(item.text), this);
            connect(box, &QCheckBox::clicked, this, [this, id] {
                if (Accepts(id))
                    TvDlgUserClick(m_dialog, id);
                Refresh(id);
            });
            w = box;
            break;
        }
        case TvControlKind::Button: {
            auto* button = new QPushButton(QString::fromUtf8(item.text), this);
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (Accepts(id))
                    TvDlgUserClick(m_dialog, id);
            });
            w = button;
            break;
        }
        case TvControlKind::ComboBox: {
            auto* combo = new QComboBox(this);
            connect(combo, &QComboBox::activated, this, [this, id](int index) {
                if (Accepts(id))
                    TvDlgUserSelect(m_dialog, id, index);
                Refresh(id);
            });
            w = combo;
            break;
        }
        }
        place(w, item);
        if (item.kind == TvControlKind::ComboBox)
            w->resize(w->width(), w->sizeHint().height());
        if (id >= 0) {
            w->setObjectName(QString("control-%1").arg(id));
            m_widgets[id] = w;
        }
    }
    for (const auto& [id, w] : m_widgets)
        Refresh(id);
    TvDlgSetChangeListener(m_dialog, &CDialogView::OnModelChange, this);
}

CDialogView::~CDialogView()
{
    Detach();
}

void CDialogView::Detach()
{
    if (m_dialog)
        TvDlgSetChangeListener(m_dialog, nullptr, nullptr);
    m_dialog = nullptr;
}

bool CDialogView::Accepts(int id)
{
    if (m_refreshing || !m_dialog)
        return false;
    if (m_guard && !m_guard()) {
        Refresh(id);
        return false;
    }
    return true;
}

void CDialogView::OnModelChange(HWND, int id, void* user)
{
    static_cast<CDialogView*>(user)->Refresh(id);
}

void CDialogView::Refresh(int id)
{
    auto it = m_widgets.find(id);
    TvControlState s;
    if (it == m_widgets.end() || !m_dialog || !TvDlgGetControl(m_dialog, id, &s))
        return;
    QWidget* w = it->second;
    m_refreshing = true;
    w->setEnabled(s.enabled);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        const QString text = QString::fromUtf8(s.text.c_str());
        if (edit->text() != text)
            edit->setText(text);
        edit->setReadOnly(s.readOnly);
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        box->setChecked(s.checked);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->clear();
        for (const auto& [text, data] : s.items)
            combo->addItem(QString::fromUtf8(text.c_str()), QVariant::fromValue<qlonglong>(data));
        combo->setCurrentIndex(s.selection);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(QString::fromUtf8(s.text.c_str()));
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(QString::fromUtf8(s.text.c_str()));
    }
    m_refreshing = false;
}
