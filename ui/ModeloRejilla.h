// A read-only grid over a dataset: a Qt table model fed by a data link on a data source,
// and the glue that makes a QTableView behave like a data-aware grid.
//
// The model's rows are the rows of its link's window. The window is kept large enough to
// hold every row of the dataset (and one more, for a row being inserted), so the view
// scrolls by itself and the dataset is read only when it changes; this suits the small
// tables the program shows (one row a year). The view's current row is the dataset's
// active record: moving in the dataset moves the grid, and a click or an arrow key in the
// grid moves the dataset. Edits, inserts, deletes and re-reads reach the grid as they
// happen.
//
// Cells show the field's value as text: numbers through the column's display format in
// Spanish notation (a comma for decimals, a point between thousands), whatever the
// machine's locale; a NULL as an empty cell.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QTableView;

namespace data {
class TDataSource;
class TField;
}  // namespace data

struct TColumnaRejilla {
  std::string Campo;    // field name, letter case ignored
  QString Titulo;       // shown centred in the header
  int Ancho = 64;       // pixels
  std::string Formato;  // display format of a number ("#,##0.00"); empty: the field's own
};

class TModeloRejilla : public QAbstractTableModel {
  Q_OBJECT

 public:
  TModeloRejilla(data::TDataSource& fuente, std::vector<TColumnaRejilla> columnas, QObject* padre = nullptr);
  ~TModeloRejilla() override;

  int rowCount(const QModelIndex& padre = QModelIndex()) const override;
  int columnCount(const QModelIndex& padre = QModelIndex()) const override;
  QVariant data(const QModelIndex& indice, int rol = Qt::DisplayRole) const override;
  QVariant headerData(int seccion, Qt::Orientation orientacion, int rol = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& indice) const override;

  const std::vector<TColumnaRejilla>& Columnas() const { return Columnas_; }
  // The row of the dataset's active record; -1 while there is none.
  int FilaActiva() const;
  // Makes the row at fila the dataset's active record (the user picked it in the grid).
  void IrAFila(int fila);

 signals:
  // The dataset's active record is now at fila (-1: none).
  void FilaActivaCambiada(int fila);

 private:
  class TEnlace;

  // The dataset moved, changed or was re-read: the rows are told again.
  void Releer();
  void FilaCambiada();
  void Desplazada(int distancia);
  // The window grows to hold every row of the dataset.
  void AjustaVentana();
  QString TextoCelda(const data::TField& campo, const TColumnaRejilla& columna) const;

  std::vector<TColumnaRejilla> Columnas_;
  std::unique_ptr<TEnlace> Enlace;
  int Filas = 0;  // what the view was last told
  bool Ajustando = false;
};

// Shows modelo in vista as a read-only grid: the columns' widths, centred titles, no row
// numbers, whole-row selection that stays on the dataset's active record, and moves in the
// grid handed on to the dataset.
void MuestraRejilla(QTableView& vista, TModeloRejilla& modelo);
