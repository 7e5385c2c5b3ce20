#pragma once

#include <QList>
#include <QRectF>

#include <functional>

class QPainter;

// A piece of a page: its height and how to paint it into the rectangle it is given.
struct FlowBlock {
    qreal height = 0;
    std::function<void(QPainter &, const QRectF &)> paint;
    // Goes to the next page with the block after it rather than end a page alone (a title).
    bool keepWithNext = false;
    // The heading row a table block continues: painted again at the top of a new page.
    int headingIndex = -1;
};

// The blocks placed on pages, top to bottom, in order: each block on the page where it first
// fits whole (a block taller than a page gets a page of its own and is cut at its foot).
class PageFlow {
public:
    struct Placed {
        int block = 0;
        qreal top = 0;
    };

    explicit PageFlow(qreal pageHeight) : m_pageHeight(pageHeight) {}

    // Places the blocks; the result has one list of placed blocks per page (at least one page).
    QList<QList<Placed>> paginate(const QList<FlowBlock> &blocks) const;

private:
    qreal m_pageHeight;
};
