#include "PageValues.h"

namespace {

// Counted in the page's size type: an index near the largest int must not wrap round.
bool inside(const QByteArray &page, int index, int width)
{
    return index >= 0 && qsizetype(index) + width <= page.size();
}

int at(const QByteArray &page, int index)
{
    return static_cast<unsigned char>(page.at(index));
}

} // namespace

std::optional<int> PageByte(const QByteArray &page, int index)
{
    if (!inside(page, index, 1))
        return std::nullopt;
    return at(page, index);
}

std::optional<int> PageUInt16(const QByteArray &page, int index)
{
    if (!inside(page, index, 2))
        return std::nullopt;
    return at(page, index) * 256 + at(page, index + 1);
}

std::optional<int> PageInt16(const QByteArray &page, int index)
{
    const auto value = PageUInt16(page, index);
    if (!value)
        return std::nullopt;
    return *value >= 32768 ? *value - 65536 : *value;
}

unsigned char HighByte(int value)
{
    return static_cast<unsigned char>(((value & 0xFF00) / 256) & 0xFF);
}

unsigned char LowByte(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

bool SetPageByte(QByteArray &page, int index, int value)
{
    if (!inside(page, index, 1))
        return false;
    page[index] = static_cast<char>(LowByte(value));
    return true;
}

bool SetPageInt16(QByteArray &page, int index, int value)
{
    if (!inside(page, index, 2))
        return false;
    page[index] = static_cast<char>(HighByte(value));
    page[index + 1] = static_cast<char>(LowByte(value));
    return true;
}
