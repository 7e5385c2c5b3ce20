#include "PhoneParameters.h"

#include "EditorForm.h"
#include "EditorLayout.h"
#include "EditorSession.h"
#include "FieldText.h"

#include <core/ProgramState.h>
#include <core/Prompts.h>

namespace {

struct RangeTest {
    int box;
    int low;
    int high;
    const char *message;
    int replacement;
};

const RangeTest RangeTests[] = {
    {9, 1, 25,
     "The number of rings you wish to program is out of limits.  Please enter a value between 1 and 25.", 1},
    {10, 15, 900,
     "The reminder callout time delay you wish to program is out of limits.  Please enter a value between 15 "
     "and 900 minutes.",
     60},
    {11, 0, 900,
     "The unit callout time delay you wish to program is out of limits.  Please enter a value between 0 and "
     "900 "
     "minutes.",
     2},
    {12, 0, 3,
     "The number of times to repeat the warning message you wish to program is out of limits.  Please enter "
     "a "
     "value between 0 and 3.",
     1},
    {13, 0, 120,
     "The power outage time delay you wish to program is out of limits.  Please enter a value between 0 and "
     "120 "
     "minutes.",
     5},
};

QString box(int index)
{
    return ControlKey("txtPhoneNumber", index);
}

} // namespace

bool CheckPhoneParameters(EditorForm &form, Prompts &prompts)
{
    for (int index = 9; index <= 13; ++index) {
        if (form.text(box(index)).trimmed().isEmpty()) {
            prompts.message(QStringLiteral("Please do not leave a parameter blank"));
            form.requestFocus(box(index));
            return false;
        }
    }
    for (const RangeTest &test : RangeTests) {
        // A text that is not a number (pasted into the box) fails its range as well.
        const auto value = NumberFromText(form.text(box(test.box)));
        if (value && *value >= test.low && *value <= test.high)
            continue;
        prompts.message(QLatin1String(test.message));
        form.setText(box(test.box), QString::number(test.replacement));
        form.requestFocus(box(test.box));
        return false;
    }
    return true;
}

bool RestorePhoneDefaults(EditorSession &session)
{
    Prompts &prompts = session.services().state.prompts();
    if (prompts.ask(
            QStringLiteral("Reset phone parameters to factory default?  Note that the phone numbers and "
                           "local ID will not be modified"),
            QStringLiteral("Factory Defaults?"), Prompts::Buttons::OkCancel,
            Prompts::Icon::Question) != Prompts::Answer::Ok)
        return false;
    EditorForm &form = session.form();
    form.setText(box(9), QStringLiteral("1"));
    form.setText(box(10), QStringLiteral("60"));
    form.setText(box(11), QStringLiteral("3"));
    form.setText(box(12), QStringLiteral("0"));
    form.setText(box(13), QStringLiteral("5"));
    form.setChoice(QStringLiteral("cmboCalloutYN"), 0);
    session.Save();
    return true;
}
