#include "PhoneParametersWindow.h"

#include "EditorBoxes.h"

#include <editors/ModelLayouts.h>
#include <editors/PhoneParameters.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

PhoneParametersWindow::PhoneParametersWindow(const EditorServices &services, QWidget *parent)
    : EditorWindow(services, PhoneParametersLayout(), parent)
{
}

void PhoneParametersWindow::build()
{
    auto *body = new QWidget(this);
    auto *form = new QFormLayout(body);
    const auto addBox = [&](int index, const QString &labelName, const QString &caption, int maxLength) {
        auto *label = new QLabel(caption, body);
        if (!labelName.isEmpty())
            label->setObjectName(labelName);
        form->addRow(
            label, NamedBox(ControlKey("txtPhoneNumber", index), body, maxLength, maxLength > 3 ? 200 : 60));
    };
    for (int n = 0; n < 8; ++n)
        addBox(n, ControlKey("lblPhoneNumber", n), QStringLiteral("Contact Phone Number %1").arg(n + 1), 20);
    addBox(8, QStringLiteral("lblLocalID"), QStringLiteral("Local ID"), 20);
    addBox(9, QString(), QStringLiteral("Number of rings to answer the phone (1-25 rings)"), 2);
    auto *callout = new QComboBox(body);
    callout->setObjectName(QStringLiteral("cmboCalloutYN"));
    callout->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    callout->setFixedWidth(80);
    form->addRow(QStringLiteral("Reminder Callouts Enabled"), callout);
    addBox(10, QString(), QStringLiteral("Reminder CallOut Time Delay (15-900 minutes)"), 3);
    addBox(11, QString(), QStringLiteral("Unit callout time delay (0-900 minutes)"), 2);
    addBox(12, QString(), QStringLiteral("Repeat Warning Message (0, 1, 2)"), 1);
    addBox(13, QString(), QStringLiteral("Power Outage Time Delay (0-120 minutes)"), 3);
    finish(body);
    m_form.setChoice(QStringLiteral("cmboCalloutYN"), 0);

    connect(button(QStringLiteral("btnSave")), &QPushButton::clicked, this, [this] { m_session.Save(); });
    connect(button(QStringLiteral("btnRefresh")), &QPushButton::clicked, this,
            [this] { m_session.Activate(); });
    connect(button(QStringLiteral("btnDefaults")), &QPushButton::clicked, this,
            [this] { RestorePhoneDefaults(m_session); });
}

std::unique_ptr<EditorWindow> MakePhoneParametersWindow(const EditorServices &services, QWidget *parent)
{
    auto window = std::make_unique<PhoneParametersWindow>(services, parent);
    window->build();
    return window;
}

#include "moc_PhoneParametersWindow.cpp"
