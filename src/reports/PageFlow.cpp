#include "PageFlow.h"

QList<QList<PageFlow::Placed>> PageFlow::paginate(const QList<FlowBlock> &blocks) const
{
    QList<QList<Placed>> pages(1);
    qreal y = 0;
    auto newPage = [&] {
        pages.append(QList<Placed>());
        y = 0;
    };
    for (int i = 0; i < blocks.size(); ++i) {
        const FlowBlock &block = blocks[i];
        // A title keeps the block after it company.
        qreal needed = block.height;
        if (block.keepWithNext && i + 1 < blocks.size())
            needed += blocks[i + 1].height;
        if (y > 0 && y + needed > m_pageHeight) {
            newPage();
            if (block.headingIndex >= 0) {
                pages.last().append({block.headingIndex, y});
                y += blocks[block.headingIndex].height;
            }
        }
        pages.last().append({i, y});
        y += block.height;
    }
    return pages;
}
