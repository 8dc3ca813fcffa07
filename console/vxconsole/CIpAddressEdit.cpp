#include "CIpAddressEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QLineEdit(parent)
{
    static const QRegularExpression kQuad(
        QStringLiteral("^((25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])\\.){0,3}"
                       "(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])?$"));
    setValidator(new QRegularExpressionValidator(kQuad, this));
    setMaxLength(15);
    setPlaceholderText(QStringLiteral("0.0.0.0"));
}

std::string CIpAddressEdit::Address() const
{
    const QStringList parts = text().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return {};
    QStringList clean;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value < 0 || value > 255)
            return {};
        clean << QString::number(value);
    }
    return clean.join(QLatin1Char('.')).toStdString();
}

void CIpAddressEdit::SetAddress(const std::string& address)
{
    setText(QString::fromStdString(address));
}
