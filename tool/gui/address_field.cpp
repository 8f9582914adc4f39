#include "tool/gui/address_field.hpp"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringList>
#include <QValidator>

namespace tarvo::gui {
namespace {

// Accepts four octets; while typing, fewer octets and an empty last one.
class AddressValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    const QStringList parts = input.split('.');
    if (parts.size() > 4) return Invalid;
    bool complete = parts.size() == 4;
    for (int i = 0; i < parts.size(); ++i) {
      const QString& p = parts[i];
      if (p.isEmpty()) {
        complete = false;
        continue;
      }
      if (p.size() > 3) return Invalid;
      for (QChar c : p)
        if (!c.isDigit()) return Invalid;
      if (p.toInt() > 255) return Invalid;
    }
    return complete ? Acceptable : Intermediate;
  }
};

}  // namespace

QString AddressText(uint32_t a) {
  return QString("%1.%2.%3.%4")
      .arg(a >> 24)
      .arg((a >> 16) & 0xFF)
      .arg((a >> 8) & 0xFF)
      .arg(a & 0xFF);
}

uint32_t AddressValue(const QString& text) {
  const QStringList parts = text.split('.');
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t octet = i < parts.size() ? parts[i].toUInt() : 0;
    value = (value << 8) | (octet & 0xFF);
  }
  return value;
}

AddressField::AddressField(QWidget* parent) : QLineEdit(parent) {
  setValidator(new AddressValidator(this));
  setMaxLength(15);
}

DigitsField::DigitsField(QWidget* parent) : QLineEdit(parent) {
  setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
}

}  // namespace tarvo::gui
