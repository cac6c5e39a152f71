#include "platform/ui/ListView.h"
#include "platform/ui/Twips.h"

#include <QHeaderView>

namespace ui {

int ModeloFilas::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(filas_.size());
}

int ModeloFilas::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnas_.size());
}

QVariant ModeloFilas::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& fila = filas_[static_cast<std::size_t>(index.row())];
    const auto col = static_cast<std::size_t>(index.column());
    if (role == Qt::DisplayRole) return col < fila.size() ? fila[col] : QString();
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columnas_[col].alineacion | Qt::AlignVCenter);
    return {};
}

QVariant ModeloFilas::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columnas_.size())) return {};
    if (role == Qt::DisplayRole) return columnas_[static_cast<std::size_t>(section)].texto;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnas_[static_cast<std::size_t>(section)].alineacion | Qt::AlignVCenter);
    return {};
}

void ModeloFilas::agregarColumna(const QString& texto, Qt::Alignment alineacion) {
    const int n = static_cast<int>(columnas_.size());
    beginInsertColumns({}, n, n);
    columnas_.push_back({texto, alineacion});
    endInsertColumns();
}

int ModeloFilas::agregarFila(const QString& texto) {
    const int n = static_cast<int>(filas_.size());
    beginInsertRows({}, n, n);
    filas_.push_back({texto});
    endInsertRows();
    return n;
}

void ModeloFilas::fijarTexto(int fila, int columna, const QString& texto) {
    auto& f = filas_.at(static_cast<std::size_t>(fila));
    if (f.size() <= static_cast<std::size_t>(columna)) f.resize(static_cast<std::size_t>(columna) + 1);
    f[static_cast<std::size_t>(columna)] = texto;
    emit dataChanged(index(fila, columna), index(fila, columna));
}

void ModeloFilas::limpiar() {
    beginResetModel();
    filas_.clear();
    filas_.shrink_to_fit();
    endResetModel();
}

ListView::ListView(QWidget* parent) : QTreeView(parent), modelo_(new ModeloFilas(this)) {
    setModel(modelo_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false); // the columns stay in the order they were added
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) { emit ColumnClick(columna(section)); });
}

void ListView::agregarColumna(const QString& texto, double anchoTwips, Qt::Alignment alineacion) {
    modelo_->agregarColumna(texto, alineacion);
    anchos_.push_back(anchoTwips);
    header()->resizeSection(static_cast<int>(anchos_.size()) - 1, aPixelesX(anchoTwips));
}

ListView::ColumnHeader ListView::columna(int index) const {
    ColumnHeader c;
    c.Index = index + 1;
    c.Text = modelo_->textoColumna(index);
    const int px = header()->sectionSize(index);
    const double fijado = anchos_[static_cast<std::size_t>(index)];
    c.Width = static_cast<float>(aPixelesX(fijado) == px ? fijado : px * TwipsPerPixelX());
    return c;
}

int ListView::numeroColumnas() const { return modelo_->columnCount(); }

ListView::ListItem ListView::agregarFila(const QString& texto) { return modelo_->agregarFila(texto); }

void ListView::fijarSubItem(ListItem fila, int subItem, const QString& texto) {
    modelo_->fijarTexto(fila, subItem, texto);
}

QString ListView::texto(ListItem fila, int columna) const {
    return modelo_->data(modelo_->index(fila, columna), Qt::DisplayRole).toString();
}

int ListView::Count() const { return modelo_->rowCount(); }

void ListView::Clear() { modelo_->limpiar(); }

void ListView::setFullRowSelect(bool activa) {
    setSelectionBehavior(activa ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setAllColumnsShowFocus(activa);
}

} // namespace ui
