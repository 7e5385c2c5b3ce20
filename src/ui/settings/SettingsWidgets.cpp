#include "SettingsWidgets.h"

#include <core/Prompts.h>
#include <core/SettingsChecks.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTabWidget>

namespace {
const QColor kYellow(255, 255, 0);

void setBase(QLineEdit *box, const QColor &colour)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, colour);
    box->setPalette(palette);
}
} // namespace

void MarkYellow(QLineEdit *box)
{
    setBase(box, kYellow);
}

void MarkWhite(QLineEdit *box)
{
    setBase(box, Qt::white);
}

bool IsMarkedYellow(const QLineEdit *box)
{
    return box->palette().color(QPalette::Base) == kYellow;
}

namespace {
// Turns a number box white again at every key it takes: a digit or Backspace, even one that
// leaves the text as it was.
class WhiteOnKey final : public QObject {
public:
    explicit WhiteOnKey(QLineEdit *box) : QObject(box), m_box(box) { box->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        const bool digit =
            text.size() == 1 && text.front() >= QLatin1Char('0') && text.front() <= QLatin1Char('9');
        if (digit || key->key() == Qt::Key_Backspace)
            MarkWhite(m_box);
        return false;
    }

private:
    QLineEdit *m_box;
};
} // namespace

void AcceptDigitsOnly(QLineEdit *box)
{
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    new WhiteOnKey(box);
}

void FocusBox(QWidget *box)
{
    for (QWidget *page = box; page; page = page->parentWidget()) {
        auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
        auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs)
            tabs->setCurrentWidget(page);
    }
    box->setFocus();
}

void ShowRefusal(QWidget *window, Prompts &prompts, const Refusal &refusal)
{
    auto *box = refusal.box.isEmpty() ? nullptr : window->findChild<QLineEdit *>(refusal.box);
    if (box) {
        if (!refusal.replacement.isNull())
            box->setText(refusal.replacement);
        MarkYellow(box);
        FocusBox(box);
    }
    prompts.message(refusal.message);
}

QLabel *WrappedLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLineEdit *NamedLineEdit(const char *name, int maxLength, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(maxLength);
    return box;
}

BusyPointer::BusyPointer()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyPointer::~BusyPointer()
{
    QApplication::restoreOverrideCursor();
}
