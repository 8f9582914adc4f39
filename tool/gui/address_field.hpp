// Fields of the communication panel that accept only what their value can
// be: a dotted IPv4 address (every octet 0-255) and digits-only text.
#pragma once

#include <QLineEdit>
#include <QString>
#include <cstdint>

namespace tarvo::gui {

// The address as the field shows it ("192.168.1.100"); the first octet is
// the most significant byte, as the settings file stores it.
QString AddressText(uint32_t address);
// The address a field holds. Octets not typed count as 0, as the address
// control of the original dialog treats its blank fields.
uint32_t AddressValue(const QString& text);

// A line edit that refuses anything but a dotted address being typed.
class AddressField : public QLineEdit {
 public:
  explicit AddressField(QWidget* parent = nullptr);
};

// A line edit that refuses anything but decimal digits.
class DigitsField : public QLineEdit {
 public:
  explicit DigitsField(QWidget* parent = nullptr);
};

}  // namespace tarvo::gui
