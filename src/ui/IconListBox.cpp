#include "IconListBox.h"

#include "ResourceImages.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

// Paints one item: its state picture, then its text, black while the item has never been
// current and grey afterwards; the current item inverted in blue.
class CIconListDelegate : public QStyledItemDelegate
{
public:
    explicit CIconListDelegate(CIconListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const QRect rect = option.rect;
        const int state = index.data(CIconListBox::StateRole).toInt();
        const bool current = index.row() == m_list->m_currentRow;
        painter->save();
        painter->fillRect(rect, current ? QColor(Qt::blue) : QColor(Qt::white));
        const QPalette& colours = m_list->palette();
        painter->setPen(current ? QColor(Qt::white)
                        : state == CIconListBox::NotYet
                            ? colours.color(QPalette::WindowText)
                            : colours.color(QPalette::Disabled, QPalette::WindowText));
        painter->setFont(m_list->font());
        const QRect textRect = rect.adjusted(m_list->m_textIndent, 0, 0, 0);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        if (state >= 0 && state < m_list->m_images.size())
            painter->drawPixmap(rect.left(),
                                rect.top() + (rect.height() - m_list->m_imageHeight) / 2,
                                m_list->m_images[state]);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width(), std::max(m_list->fontMetrics().height(), m_list->m_imageHeight)};
    }

private:
    CIconListBox* m_list;
};

CIconListBox::CIconListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new CIconListDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setUniformItemSizes(true);
}

bool CIconListBox::SetImageList(int bitmapId, int imageWidth, int imageHeight,
                                const QColor& maskColour)
{
    const QImage picture = LoadBitmapResource(bitmapId);
    if (picture.isNull() || imageWidth <= 0)
        return false;
    QPixmap strip = QPixmap::fromImage(picture);
    strip.setMask(strip.createMaskFromColor(maskColour));
    m_images.clear();
    for (int x = 0; x + imageWidth <= strip.width(); x += imageWidth)
        m_images.append(strip.copy(x, 0, imageWidth, imageHeight));
    m_textIndent = imageWidth + 2;
    m_imageHeight = imageHeight;
    doItemsLayout();
    return true;
}

void CIconListBox::SetCurrent(int row)
{
    m_currentRow = row;
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* entry = item(i);
        const int state = entry->data(StateRole).toInt();
        if (i == row)
            entry->setData(StateRole, state | Current);
        else if (state == Current)
            entry->setData(StateRole, Done);
    }
    if (row >= 0 && row < count())
        scrollToItem(item(row));
    viewport()->update();
}

int CIconListBox::GetState(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(StateRole).toInt() : -1;
}

void CIconListBox::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void CIconListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void CIconListBox::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}
