// The masked edit and the style hint that makes it draw "*".
#include "widgets/masked_edit.h"

#include <QProxyStyle>

namespace widgets {
namespace {

class StarPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

MaskedEdit::MaskedEdit(QWidget* parent) : QLineEdit(parent) {
  auto* style = new StarPasswordStyle;
  style->setParent(this);
  setStyle(style);
  setEchoMode(QLineEdit::Password);
}

}  // namespace widgets
