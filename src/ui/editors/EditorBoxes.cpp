#include "EditorBoxes.h"

#include <QLineEdit>
#include <QValidator>

namespace {

// Refuses an edit that makes the text longer than the limit, unless the text was already that
// long (a downloaded value may be): shortening and replacing are always allowed. Unlike a
// maximum length it never cuts text the program puts into the box. The box's text has already
// changed when an edit is validated, so the length shown before it is kept here.
class TypedLengthValidator final : public QValidator {
public:
    TypedLengthValidator(QLineEdit *box, int limit) : QValidator(box), m_limit(limit)
    {
        connect(box, &QLineEdit::textChanged, this, [this](const QString &text) { m_shown = text.size(); });
    }

    State validate(QString &input, int &) const override
    {
        return input.size() > m_limit && input.size() > m_shown ? Invalid : Acceptable;
    }

private:
    int m_limit;
    qsizetype m_shown = 0;
};

} // namespace

QLineEdit *NamedBox(const QString &name, QWidget *parent, int typedLength, int width)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    if (typedLength > 0)
        box->setValidator(new TypedLengthValidator(box, typedLength));
    box->setFixedWidth(width);
    return box;
}
