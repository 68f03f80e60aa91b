// The category list's rows: their heights and how they are drawn.
#include <QPainter>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/KeyListBox.h"
#include "platform/TextConv.h"

namespace dorvanta {

const QColor TCategoryPane::kHeaderColors[2] = {QColor(200, 200, 185), QColor(255, 157, 157)};

int TCategoryPane::ListBox_KeysMeasureItem(int index) const {
    const auto& keys = Doc().Keys;
    int height = Doc().IsGroupStart(index) ? HeaderHeight() : 0;
    bool shown = true;
    if (CompressView()) {
        shown = lastFillIndex_ >= 0 && lastFillIndex_ < static_cast<int>(keys.size()) &&
                keys[lastFillIndex_].Parent == keys[index].Parent;
    }
    if (shown) {
        height += lineHeight_;
        if (ShowData()) {
            height += static_cast<int>(keys[index].Data.size()) * lineHeight_;
        }
    }
    return height;
}

void TCategoryPane::ListBox_KeysDrawItem(QPainter& painter, int index, const QRect& rect,
                                         bool selected) const {
    const auto& keys = Doc().Keys;
    if (index >= static_cast<int>(keys.size())) return;
    const TDataKey& key = keys[index];
    const int left = rect.left();
    const int right = rect.left() + rect.width();  // exclusive
    const QColor background =
        list_->palette().color(selected ? QPalette::Highlight : QPalette::Base);
    const QColor textColor = painter.pen().color();
    QRect area = rect;

    if (Doc().IsGroupStart(index)) {
        const int sel = list_->ItemIndex();
        const bool ownGroup =
            sel >= 0 && sel < static_cast<int>(keys.size()) && keys[sel].Parent == key.Parent;
        const QColor c0 = kHeaderColors[ownGroup ? 1 : 0];
        const int span = std::max(1, right - left);
        for (int x = left; x <= right; ++x) {
            const int t = x - left;
            const QColor c(c0.red() + (255 - c0.red()) * t / span,
                           c0.green() + (255 - c0.green()) * t / span,
                           c0.blue() + (255 - c0.blue()) * t / span);
            painter.fillRect(x, rect.top(), 1, HeaderHeight(), c);
        }
        QFont bold = list_->font();
        bold.setBold(true);
        bold.setItalic(true);
        painter.setFont(bold);
        painter.setPen(Qt::black);
        painter.drawText(QRect(left + 2, rect.top() + 1, rect.width() - 2, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText(key.Parent));
        painter.setFont(list_->font());
        area =
            QRect(left, rect.top() + HeaderHeight(), rect.width(), rect.height() - HeaderHeight());
    }
    // Row background below the band, a black line along the band's lower edge.
    if (area.height() > 0) {
        painter.fillRect(area, background);
        painter.setPen(Qt::black);
        painter.drawLine(area.left(), area.top(), area.right(), area.top());
    }
    painter.setPen(background);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.setPen(textColor);

    if (CompressView()) {
        const int sk = session_.ShownKey();
        if (sk < 0 || sk >= static_cast<int>(keys.size()) || keys[sk].Parent != key.Parent) return;
    }
    const bool showData = ShowData();
    QFont nameFont = list_->font();
    nameFont.setBold(showData);
    painter.setFont(nameFont);
    painter.drawText(QRect(left + 2, area.top(), rect.width() - 2, lineHeight_),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText(key.Name));
    painter.setFont(list_->font());
    if (!showData) return;

    painter.setPen(Qt::black);
    painter.drawLine(area.left(), area.top(), area.right(), area.top());
    painter.setPen(textColor);
    const int mid = (left + 2) / 2 + right / 2;
    const QFont& font = list_->font();
    const int firstVisible = std::max(
        0, (painter.clipBoundingRect().toRect().top() - area.top()) / std::max(1, lineHeight_) - 1);
    const int lastY = painter.clipBoundingRect().toRect().bottom();
    for (int j = firstVisible; j < static_cast<int>(key.Data.size()); ++j) {
        const int y = area.top() + (j + 1) * lineHeight_;
        if (y > lastY) break;  // below what is being painted
        const TDataRec& rec = key.Data[j];
        painter.drawText(QRect(left + 2, y, mid - 4, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ShownText(rec.Title), font, mid - 4));
        painter.drawText(QRect(mid, y, mid, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ShownText(rec.Value), font, mid));
    }
}

QString TCategoryPane::EllipsisText(const QString& text, const QFont& font, int maxWidth) {
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= maxWidth) return text;
    // The longest prefix, at least two characters shorter, that fits with "...".
    const QString dots = QStringLiteral("...");
    int lo = 0;
    int hi = static_cast<int>(text.size()) - 2;
    if (hi <= 0) return dots;
    if (metrics.horizontalAdvance(text.left(hi) + dots) <= maxWidth) return text.left(hi) + dots;
    while (hi - lo > 1) {  // invariant: lo fits (or is 0), hi does not
        const int mid = (lo + hi) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + dots) <= maxWidth) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return text.left(lo) + dots;
}

QString TCategoryPane::ItemText(int index) const {
    const auto& keys = Doc().Keys;
    if (index < 0 || index >= static_cast<int>(keys.size())) return {};
    return ShownText(keys[index].Parent) + QStringLiteral(" \u2013 ") + ShownText(keys[index].Name);
}

}  // namespace dorvanta
