#pragma once
// The common controls' list view in report view: column headers whose widths are in twips, rows
// with a text and sub-items. Rows live in a plain model, so large lists stay cheap.
#include <QAbstractTableModel>
#include <QTreeView>
#include <vector>

namespace ui {

class ModeloFilas : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void agregarColumna(const QString& texto, Qt::Alignment alineacion);
    int agregarFila(const QString& texto);
    void fijarTexto(int fila, int columna, const QString& texto);
    void limpiar();
    const QString& textoColumna(int columna) const { return columnas_[columna].texto; }

private:
    struct Columna {
        QString texto;
        Qt::Alignment alineacion;
    };
    std::vector<Columna> columnas_;
    std::vector<std::vector<QString>> filas_;
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

    void agregarColumna(const QString& texto, double anchoTwips, Qt::Alignment alineacion = Qt::AlignLeft);
    ColumnHeader columna(int index) const;
    int numeroColumnas() const;

    ListItem agregarFila(const QString& texto);
    void fijarSubItem(ListItem fila, int subItem, const QString& texto);
    QString texto(ListItem fila, int columna = 0) const;
    int Count() const;
    void Clear();

    // Display option: selection and focus cover the whole row.
    void setFullRowSelect(bool activa);

signals:
    void ColumnClick(const ui::ListView::ColumnHeader& header);

private:
    ModeloFilas* modelo_;
    std::vector<double> anchos_; // widths as set, in twips
};

} // namespace ui
