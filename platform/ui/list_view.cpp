// List views: the rows live in the layer's own model, which answers the LVM_ messages with
// Windows' semantics; the Qt tree widget only shows the model and reports clicks.
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeWidget>
#include <algorithm>

#include "ui_internal.h"

namespace platform::ui {
namespace {

struct Row {
    std::vector<std::u16string> texts;
    int image = 0;
    LPARAM param = 0;
    UINT state = 0;
};

struct Column {
    int width;
    std::u16string title;
};

class ListView : public WindowExtra {
public:
    ListView(Window* self, bool sortAscending) : self_(self), sortAscending_(sortAscending) {}

    LRESULT Message(HWND, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override
    {
        handled = true;
        const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
        switch (message) {
            case LVM_SETIMAGELIST: {
                if (wParam > LVSIL_STATE) return 0;
                const auto previous = reinterpret_cast<LRESULT>(imageLists_[wParam]);
                imageLists_[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
                Refresh();
                return previous;
            }
            case LVM_GETITEMCOUNT: return static_cast<LRESULT>(rows_.size());
            case LVM_INSERTCOLUMNW: return ColumnInsert(index, reinterpret_cast<const LVCOLUMNW*>(lParam));
            case LVM_INSERTITEMW: return RowInsert(reinterpret_cast<const LVITEMW*>(lParam));
            case LVM_SETITEMW: return RowSet(reinterpret_cast<const LVITEMW*>(lParam));
            case LVM_GETITEMW: return RowGet(reinterpret_cast<LVITEMW*>(lParam));
            case LVM_SETITEMTEXTW: {
                auto* item = reinterpret_cast<const LVITEMW*>(lParam);
                if (!Valid(index) || !item || item->iSubItem < 0) return FALSE;
                TextSet(rows_[index], item->iSubItem, item->pszText);
                RowShow(index);
                return TRUE;
            }
            case LVM_GETITEMTEXTW: {
                auto* item = reinterpret_cast<LVITEMW*>(lParam);
                if (!item) return 0;
                const std::u16string text = Valid(index) ? Text(rows_[index], item->iSubItem) : std::u16string();
                return TextCopyOut(text, item->pszText, item->cchTextMax);
            }
            case LVM_DELETEITEM:
                if (!Valid(index)) return FALSE;
                rows_.erase(rows_.begin() + index);
                if (Shown(static_cast<int>(rows_.size()) + 1)) delete view_->takeTopLevelItem(index);
                else Refresh();
                return TRUE;
            case LVM_DELETEALLITEMS:
                rows_.clear();
                Refresh();
                return TRUE;
            case LVM_GETNEXTITEM: return NextRow(index, static_cast<UINT>(lParam));
            case LVM_SETITEMSTATE: {
                auto* item = reinterpret_cast<const LVITEMW*>(lParam);
                if (!item || index < -1 || index >= static_cast<int>(rows_.size())) return FALSE;
                for (int i = index == -1 ? 0 : index; i < (index == -1 ? static_cast<int>(rows_.size()) : index + 1);
                     ++i)
                    StateSet(i, item->state, item->stateMask);
                SelectionShow();
                return TRUE;
            }
            case LVM_GETITEMSTATE: return Valid(index) ? static_cast<LRESULT>(rows_[index].state & lParam) : 0;
            case LVM_FINDITEMW: {
                auto* find = reinterpret_cast<const LVFINDINFOW*>(lParam);
                if (!find || !(find->flags & LVFI_PARAM)) return -1;
                for (int i = std::max(index + 1, 0); i < static_cast<int>(rows_.size()); ++i)
                    if (rows_[i].param == find->lParam) return i;
                return -1;
            }
            case LVM_SORTITEMS: {
                auto compare = reinterpret_cast<PFNLVCOMPARE>(lParam);
                if (!compare) return FALSE;
                // The comparison may ask the list about its rows while it sorts (as the send page
                // does), so it sees the order from before the sort, as on Windows.
                std::vector<Row> sorted = rows_;
                std::stable_sort(sorted.begin(), sorted.end(), [&](const Row& a, const Row& b) {
                    return compare(a.param, b.param, static_cast<LPARAM>(wParam)) < 0;
                });
                rows_ = std::move(sorted);
                Refresh();
                return TRUE;
            }
            default: handled = false; return 0;
        }
    }

    void Connect(QTreeWidget* view)
    {
        view_ = view;
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        // Qt sends sectionClicked only from clickable sections; a list view's header is a button
        // row whose clicks the owner sorts by.
        view->header()->setSectionsClickable(true);
        QObject::connect(view->header(), &QHeaderView::sectionClicked,
                         [this](int column) { Notify(LVN_COLUMNCLICK, -1, column); });
        QObject::connect(view, &QTreeWidget::itemDoubleClicked,
                         [this](QTreeWidgetItem* item) { Notify(NM_DBLCLK, view_->indexOfTopLevelItem(item), 0); });
    }

    // A press on a row focuses and selects it, as on Windows; then the click notification.
    void Pressed(QMouseEvent* event)
    {
        QTreeWidgetItem* item = view_->itemAt(event->pos());
        const int row = item ? view_->indexOfTopLevelItem(item) : -1;
        if (row >= 0) {
            for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
                StateSet(i, i == row ? LVIS_FOCUSED | LVIS_SELECTED : 0, LVIS_FOCUSED | LVIS_SELECTED);
            SelectionShow();
        }
        Notify(event->button() == Qt::RightButton ? NM_RCLICK : NM_CLICK, row, 0);
    }

private:
    bool Valid(int index) const { return index >= 0 && index < static_cast<int>(rows_.size()); }

    static std::u16string Text(const Row& row, int column)
    {
        return column >= 0 && column < static_cast<int>(row.texts.size()) ? row.texts[column] : std::u16string();
    }
    static void TextSet(Row& row, int column, LPCWSTR text)
    {
        if (row.texts.size() <= static_cast<size_t>(column)) row.texts.resize(static_cast<size_t>(column) + 1);
        row.texts[column] = TextOf(text);
    }

    // Only one row holds the focus.
    void StateSet(int index, UINT state, UINT mask)
    {
        if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
            for (Row& row : rows_) row.state &= ~LVIS_FOCUSED;
        rows_[index].state = (rows_[index].state & ~mask) | (state & mask);
    }

    LRESULT ColumnInsert(int index, const LVCOLUMNW* column)
    {
        if (!column) return -1;
        const int at = std::clamp(index, 0, static_cast<int>(columns_.size()));
        columns_.insert(columns_.begin() + at, {column->mask & LVCF_WIDTH ? column->cx : 0,
                                                column->mask & LVCF_TEXT ? TextOf(column->pszText) : u""});
        Refresh();
        return at;
    }

    LRESULT RowInsert(const LVITEMW* item)
    {
        if (!item || item->iItem < 0) return -1;
        Row row;
        if (item->mask & LVIF_TEXT) TextSet(row, 0, item->pszText);
        if (item->mask & LVIF_IMAGE) row.image = item->iImage;
        if (item->mask & LVIF_PARAM) row.param = item->lParam;
        if (item->mask & LVIF_STATE) row.state = item->state & item->stateMask;
        int at = std::min(item->iItem, static_cast<int>(rows_.size()));
        if (sortAscending_) {
            // After the rows that do not sort above it, found by halving as Windows does (rows put
            // in another order by LVM_SORTITEMS are taken as they stand).
            static const std::u16string none;
            const auto first = [&](const Row& r) -> const std::u16string& {
                return r.texts.empty() ? none : r.texts[0];
            };
            const std::u16string& text = first(row);
            at = static_cast<int>(std::upper_bound(rows_.begin(), rows_.end(), text,
                                                   [&](const std::u16string& t, const Row& r) {
                                                       return lstrcmpW(t.c_str(), first(r).c_str()) < 0;
                                                   }) -
                                  rows_.begin());
        }
        rows_.insert(rows_.begin() + at, row);
        if (row.state & LVIS_FOCUSED) StateSet(at, row.state, LVIS_FOCUSED);
        if (Shown(static_cast<int>(rows_.size()) - 1)) {
            auto* shown = new QTreeWidgetItem();
            view_->insertTopLevelItem(at, shown);
            RowShow(at);
        } else {
            Refresh();
        }
        return at;
    }

    LRESULT RowSet(const LVITEMW* item)
    {
        if (!item || !Valid(item->iItem)) return FALSE;
        Row& row = rows_[item->iItem];
        if (item->mask & LVIF_TEXT) TextSet(row, item->iSubItem, item->pszText);
        if (item->mask & LVIF_IMAGE) row.image = item->iImage;
        if (item->mask & LVIF_PARAM) row.param = item->lParam;
        if (item->mask & LVIF_STATE) {
            StateSet(item->iItem, item->state, item->stateMask);
            SelectionShow();
        }
        RowShow(item->iItem);
        return TRUE;
    }

    LRESULT RowGet(LVITEMW* item) const
    {
        if (!item || !Valid(item->iItem)) return FALSE;
        const Row& row = rows_[item->iItem];
        if (item->mask & LVIF_TEXT) TextCopyOut(Text(row, item->iSubItem), item->pszText, item->cchTextMax);
        if (item->mask & LVIF_IMAGE) item->iImage = row.image;
        if (item->mask & LVIF_PARAM) item->lParam = row.param;
        if (item->mask & LVIF_STATE) item->state = row.state & item->stateMask;
        return TRUE;
    }

    LRESULT NextRow(int start, UINT flags) const
    {
        const UINT wanted = (flags & LVNI_FOCUSED ? LVIS_FOCUSED : 0) | (flags & LVNI_SELECTED ? LVIS_SELECTED : 0);
        for (int i = std::max(start + 1, 0); i < static_cast<int>(rows_.size()); ++i)
            if ((rows_[i].state & wanted) == wanted) return i;
        return -1;
    }

    void Notify(int code, int row, int column)
    {
        NMITEMACTIVATE notify{};
        notify.hdr.hwndFrom = HandleOf(self_);
        notify.hdr.idFrom = static_cast<UINT_PTR>(self_->id);
        notify.hdr.code = static_cast<UINT>(code);
        notify.iItem = row;
        notify.iSubItem = column;
        notify.lParam = Valid(row) ? rows_[row].param : 0;
        DialogProcCall(self_->parent, WM_NOTIFY, static_cast<WPARAM>(self_->id), reinterpret_cast<LPARAM>(&notify));
    }

    // The view shows `count` rows of the model as they were before the change at hand: a change
    // of one row then touches one item instead of building the view again.
    bool Shown(int count) const { return view_ && view_->topLevelItemCount() == count; }

    void ItemFill(QTreeWidgetItem* item, const Row& row) const
    {
        for (size_t c = 0; c < row.texts.size(); ++c) item->setText(static_cast<int>(c), ToQString(row.texts[c]));
        const QImage picture = ImageListPicture(imageLists_[LVSIL_SMALL], row.image);
        item->setIcon(0, picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture)));
        item->setSelected(row.state & LVIS_SELECTED);
    }

    void RowShow(int index)
    {
        if (!Shown(static_cast<int>(rows_.size()))) {
            Refresh();
            return;
        }
        const QSignalBlocker quiet(view_);
        ItemFill(view_->topLevelItem(index), rows_[index]);
    }

    void SelectionShow()
    {
        if (!Shown(static_cast<int>(rows_.size()))) {
            Refresh();
            return;
        }
        const QSignalBlocker quiet(view_);
        for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
            QTreeWidgetItem* item = view_->topLevelItem(i);
            if (item->isSelected() != ((rows_[i].state & LVIS_SELECTED) != 0))
                item->setSelected(rows_[i].state & LVIS_SELECTED);
        }
    }

    void Refresh()
    {
        if (!view_) return;
        view_->setHeaderHidden(columns_.empty());
        view_->setColumnCount(std::max<int>(1, static_cast<int>(columns_.size())));
        QStringList titles;
        for (size_t c = 0; c < columns_.size(); ++c) {
            titles << ToQString(columns_[c].title);
            view_->setColumnWidth(static_cast<int>(c), columns_[c].width);
            view_->setColumnHidden(static_cast<int>(c), columns_[c].width == 0);
        }
        if (!titles.isEmpty()) view_->setHeaderLabels(titles);
        const QSignalBlocker quiet(view_);
        view_->clear();
        // A report view shows the small pictures, at their own size.
        const HIMAGELIST pictures = imageLists_[LVSIL_SMALL];
        const QImage first = ImageListPicture(pictures, 0);
        if (!first.isNull()) view_->setIconSize(first.size());
        for (const Row& row : rows_) {
            auto* item = new QTreeWidgetItem(view_);
            for (size_t c = 0; c < row.texts.size(); ++c) item->setText(static_cast<int>(c), ToQString(row.texts[c]));
            const QImage picture = ImageListPicture(pictures, row.image);
            if (!picture.isNull()) item->setIcon(0, QIcon(QPixmap::fromImage(picture)));
            item->setSelected(row.state & LVIS_SELECTED);
        }
    }

    Window* self_;
    bool sortAscending_;
    QTreeWidget* view_ = nullptr;
    std::vector<Row> rows_;
    std::vector<Column> columns_;
    HIMAGELIST imageLists_[3] = {};  // LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE
};

class ListPresses : public QObject {
public:
    ListPresses(ListView* list, QObject* owner) : QObject(owner), list_(list) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) list_->Pressed(static_cast<QMouseEvent*>(event));
        return false;
    }

private:
    ListView* list_;
};

}  // namespace

void ListViewAttach(Window* list, bool sortAscending)
{
    auto model = std::make_unique<ListView>(list, sortAscending);
    auto* view = static_cast<QTreeWidget*>(list->widget.data());
    model->Connect(view);
    view->viewport()->installEventFilter(new ListPresses(model.get(), view));
    list->extra = std::move(model);
}

}  // namespace platform::ui
