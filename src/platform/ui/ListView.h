#pragma once
// The common controls' list view in report view: column headers whose widths are in twips, rows
// with a text and sub-items. Rows live in a plain model, so large lists stay cheap.
#include <QAbstractTableModel>
#include <QTreeView>
#include <vector>

namespace ui {

class RowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void AddColumnHeader(const QString& text, Qt::Alignment alignment);
    int AddListItem(const QString& text);
    void setText(int row, int column, const QString& text);
    void clear();
    const QString& headerText(int column) const { return columns_[column].text; }

private:
    struct HeaderColumn {
        QString text;
        Qt::Alignment alignment;
    };
    std::vector<HeaderColumn> columns_;
    std::vector<std::vector<QString>> rows_;
};

class ListView : public QTreeView {
    Q_OBJECT
public:
    struct ColumnHeader {
        int Index = 0;
        QString Text;
        float Width = 0; // twips
    };
    using ListItem = int; // the row's position

    explicit ListView(QWidget* parent = nullptr);

    void AddColumnHeader(const QString& text, double widthTwips, Qt::Alignment alignment = Qt::AlignLeft);
    ColumnHeader ColumnHeaders(int index) const; // 0-based here; its Index is 1-based
    int ColumnHeaderCount() const;

    ListItem AddListItem(const QString& text);
    void SetSubItem(ListItem item, int subItem, const QString& text);
    QString ItemText(ListItem item, int column = 0) const;
    int ListItemCount() const;
    void ClearListItems();

    // Display option: selection and focus cover the whole row.
    void setFullRowSelect(bool enabled);

signals:
    void ColumnClick(const ui::ListView::ColumnHeader& header);

private:
    RowModel* model_;
    std::vector<double> widths_; // widths as set, in twips
};

} // namespace ui
