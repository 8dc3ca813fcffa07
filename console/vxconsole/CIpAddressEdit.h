// CIpAddressEdit: an IPv4 address field. Takes only dotted-quad input with
// parts 0 to 255; Address() gives the dotted text the protocol library reads.
#pragma once

#include <QLineEdit>

#include <string>

class CIpAddressEdit : public QLineEdit {
public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    // The address as dotted text ("192.168.2.103", leading zeros dropped), or
    // "" while the field does not hold four parts.
    std::string Address() const;
    // Shows a dotted address (as the protocol library reports it).
    void SetAddress(const std::string& address);
};
