#include "platform/FreedMemory.h"

#include <malloc.h>
#include <sodium.h>

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <array>
#include <cstddef>

namespace dorvanta {

namespace {
// glibc's per-thread cache: 64 size classes 16 bytes apart, up to 7 blocks each
// by default (more when a tunable says so: the margin takes them too).
constexpr std::size_t kCachedClasses = 64;
constexpr std::size_t kClassStep = 16;
constexpr int kBlocksPerClass = 16;
// Any byte but zero, so that a fault reading freed memory shows up as garbage.
constexpr int kFreedByte = 0xA5;
}  // namespace

void OverwriteFreedMemory() {
    mallopt(M_PERTURB, kFreedByte);
}

void ScrubFreedMemory() {
    std::array<void*, kCachedClasses * kBlocksPerClass> blocks{};
    std::size_t n = 0;
    for (std::size_t c = 1; c <= kCachedClasses; ++c) {
        const std::size_t size = c * kClassStep - 8;  // the largest request of class c
        for (int i = 0; i < kBlocksPerClass; ++i) {
            void* block = std::malloc(size);
            if (!block) continue;
            sodium_memzero(block, malloc_usable_size(block));
            blocks[n++] = block;
        }
    }
    for (std::size_t i = 0; i < n; ++i) std::free(blocks[i]);
    malloc_trim(0);
}

void ForgetPaintedItems(QAbstractItemView* view) {
    // One empty item goes through the view's delegate (which keeps the roles of
    // the last item it asked the model for) and the style (which keeps the last
    // item it laid out).
    QStandardItemModel empty(1, 1);
    QStyleOptionViewItem option;
    option.initFrom(view);
    if (QAbstractItemDelegate* delegate = view->itemDelegate()) {
        delegate->sizeHint(option, empty.index(0, 0));
    }
    view->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
}

void WipeText(QString& text) {
    // data() would copy a shared text first and overwrite only the copy.
    if (text.isDetached() && !text.isEmpty()) {
        sodium_memzero(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    text = QString();
}

void ForgetText(QLineEdit* edit) {
    // A filler of the same length replaces the text in the field and in its
    // layout first; glibc fills the buffers they let go of.
    const qsizetype length = edit->text().size();
    if (length > 0) edit->setText(QString(length, QLatin1Char(' ')));
    edit->setText(QString());  // unlike clear(), also empties the undo history
}

void ForgetItems(QComboBox* combo) {
    for (int i = 0; i < combo->count(); ++i) {
        combo->setItemText(i, QString(combo->itemText(i).size(), QLatin1Char(' ')));
    }
    combo->clear();
    if (QLineEdit* edit = combo->lineEdit()) ForgetText(edit);
}

}  // namespace dorvanta
