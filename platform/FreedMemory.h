#pragma once
// Freed memory keeps no text of a locked collection: the allocator overwrites
// what it frees, and what it keeps aside for reuse is overwritten on demand.

class QAbstractItemView;
class QComboBox;
class QLineEdit;
class QString;

namespace dorvanta {

// From now on glibc fills every block it frees with one byte (M_PERTURB), so a
// string a widget let go of leaves no copy behind. Called once at start.
void OverwriteFreedMemory();

// glibc keeps a few recently freed small blocks per thread unfilled for quick
// reuse; this takes them, overwrites them and gives them back, and returns what
// it can of the free memory to the system. Called on the thread that freed the
// texts (a lock, on the window's thread).
void ScrubFreedMemory();

// An item view and its style keep the last item they painted (its texts
// included) to paint the next one faster; this makes them keep an empty one
// instead. For a view whose model no longer holds the texts.
void ForgetPaintedItems(QAbstractItemView* view);

// Overwrites the characters of `text` when it holds them alone (a shared or
// constant text belongs to others too and is only let go of), then empties it.
void WipeText(QString& text);

// Empties a line edit and its undo history, its text overwritten first: a
// widget kept between uses would otherwise hold it, and one destroyed leaves
// freed copies behind that only the filling of freed memory would cover.
void ForgetText(QLineEdit* edit);

// The same for a combo box: its items and its edit text.
void ForgetItems(QComboBox* combo);

}  // namespace dorvanta
