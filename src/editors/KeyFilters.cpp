#include "KeyFilters.h"

#include <core/Prompts.h>

#include <QString>

namespace {
bool isDigit(int key)
{
    return key >= '0' && key <= '9';
}
} // namespace

int NumericKeyFilter(int key)
{
    return isDigit(key) || key == '.' || key == '-' || key == BackspaceKey ? key : 0;
}

int DigitKeyFilter(int key)
{
    return isDigit(key) || key == BackspaceKey ? key : 0;
}

int NameKeyFilter(int key, Prompts &prompts)
{
    if (key != '\\' && key != '/')
        return key;
    prompts.message(QString(QChar(key)) + QStringLiteral(" is an invalid character."));
    return 0;
}

int PhoneKeyFilter(int key, int box)
{
    const bool star = key == '*' && box < 9;
    if (!isDigit(key) && !star && key != BackspaceKey)
        return 0;
    if (box == 12 && key != '0' && key != '1' && key != '2')
        return '0';
    return key;
}
