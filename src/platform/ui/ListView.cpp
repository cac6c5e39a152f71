#include "platform/ui/ListView.h"
#include "platform/ui/Twips.h"

#include <QHeaderView>

namespace ui {

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& row = rows_[static_cast<std::size_t>(index.row())];
    const auto col = static_cast<std::size_t>(index.column());
    if (role == Qt::DisplayRole) return col < row.size() ? row[col] : QString();
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columns_[col].alignment | Qt::AlignVCenter);
    return {};
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size())) return {};
    if (role == Qt::DisplayRole) return columns_[static_cast<std::size_t>(section)].text;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns_[static_cast<std::size_t>(section)].alignment | Qt::AlignVCenter);
    return {};
}

void RowModel::AddColumnHeader(const QString& text, Qt::Alignment alignment) {
    const int n = static_cast<int>(columns_.size());
    beginInsertColumns({}, n, n);
    columns_.push_back({text, alignment});
    endInsertColumns();
}

int RowModel::AddListItem(const QString& text) {
    const int n = static_cast<int>(rows_.size());
    beginInsertRows({}, n, n);
    rows_.push_back({text});
    endInsertRows();
    return n;
}

void RowModel::setText(int row, int column, const QString& text) {
    auto& f = rows_.at(static_cast<std::size_t>(row));
    if (f.size() <= static_cast<std::size_t>(column)) f.resize(static_cast<std::size_t>(column) + 1);
    f[static_cast<std::size_t>(column)] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void RowModel::clear() {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

ListView::ListView(QWidget* parent) : QTreeView(parent), model_(new RowModel(this)) {
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false); // the columns stay in the order they were added
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit ColumnClick(ColumnHeaders(section)); });
}

void ListView::AddColumnHeader(const QString& text, double widthTwips, Qt::Alignment alignment) {
    model_->AddColumnHeader(text, alignment);
    widths_.push_back(widthTwips);
    header()->resizeSection(static_cast<int>(widths_.size()) - 1, toPixelsX(widthTwips));
}

ListView::ColumnHeader ListView::ColumnHeaders(int index) const {
    ColumnHeader c;
    c.Index = index + 1;
    c.Text = model_->headerText(index);
    const int px = header()->sectionSize(index);
    const double isSet = widths_[static_cast<std::size_t>(index)];
    c.Width = static_cast<float>(toPixelsX(isSet) == px ? isSet : px * TwipsPerPixelX());
    return c;
}

int ListView::ColumnHeaderCount() const { return model_->columnCount(); }

ListView::ListItem ListView::AddListItem(const QString& text) { return model_->AddListItem(text); }

void ListView::SetSubItem(ListItem item, int subItem, const QString& text) { model_->setText(item, subItem, text); }

QString ListView::ItemText(ListItem item, int column) const {
    return model_->data(model_->index(item, column), Qt::DisplayRole).toString();
}

int ListView::ListItemCount() const { return model_->rowCount(); }

void ListView::ClearListItems() { model_->clear(); }

void ListView::setFullRowSelect(bool enabled) {
    setSelectionBehavior(enabled ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setAllColumnsShowFocus(enabled);
}

} // namespace ui
