#include "ui/ModeloRejilla.h"

#include "ui/Errores.h"
#include "zdb/DataSet.h"
#include "zdb/Values.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace {

// Amounts in the grid read as everywhere else in the program, whatever the machine's locale.
const data::TFormatSettings& NotacionEspanola() {
  static const data::TFormatSettings notacion = [] {
    data::TFormatSettings ajustes;
    ajustes.DecimalSeparator = ',';
    ajustes.ThousandSeparator = '.';
    return ajustes;
  }();
  return notacion;
}

bool EsReal(data::TFieldType tipo) {
  return tipo == data::TFieldType::ftFloat || tipo == data::TFieldType::ftCurrency ||
         tipo == data::TFieldType::ftBCD;
}

QString DesdeAnsi(const std::string& texto) {
  return QString::fromStdU16String(zdb::AnsiToWide(texto));
}

}  // namespace

// The model's ear on the data source.
class TModeloRejilla::TEnlace : public data::TDataLink {
 public:
  explicit TEnlace(TModeloRejilla& modelo) : Modelo(modelo) {}

  // Reading a row of the window: it becomes the dataset's active record for as long as the
  // reading lasts, and the real one comes back on every path.
  class TLectura {
   public:
    TLectura(TEnlace& enlace, int fila) : Enlace(enlace), Guardada(enlace.ActiveRecord()) {
      Enlace.SetActiveRecord(fila);
    }
    ~TLectura() {
      try {
        Enlace.SetActiveRecord(Guardada);
      } catch (...) {
        // The row read was inside the window, so the saved one is too.
      }
    }
    TLectura(const TLectura&) = delete;
    TLectura& operator=(const TLectura&) = delete;

   private:
    TEnlace& Enlace;
    int Guardada;
  };

 protected:
  void ActiveChanged() override { Modelo.Releer(); }
  void DataSetChanged() override { Modelo.Releer(); }
  void LayoutChanged() override { Modelo.Releer(); }
  void DataSetScrolled(int distancia) override { Modelo.Desplazada(distancia); }
  void RecordChanged(data::TField*) override { Modelo.FilaCambiada(); }

 private:
  TModeloRejilla& Modelo;
};

TModeloRejilla::TModeloRejilla(data::TDataSource& fuente, std::vector<TColumnaRejilla> columnas, QObject* padre)
    : QAbstractTableModel(padre), Columnas_(std::move(columnas)), Enlace(std::make_unique<TEnlace>(*this)) {
  Enlace->SetReadOnly(true);
  Enlace->SetDataSource(&fuente);
  Releer();
}

TModeloRejilla::~TModeloRejilla() {
  // The link goes before the model's members, and tells nobody.
  Enlace.reset();
}

int TModeloRejilla::rowCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : Filas;
}

int TModeloRejilla::columnCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : static_cast<int>(Columnas_.size());
}

Qt::ItemFlags TModeloRejilla::flags(const QModelIndex& indice) const {
  return indice.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant TModeloRejilla::headerData(int seccion, Qt::Orientation orientacion, int rol) const {
  if (orientacion != Qt::Horizontal || seccion < 0 || seccion >= columnCount()) return {};
  if (rol == Qt::DisplayRole) return Columnas_[static_cast<size_t>(seccion)].Titulo;
  if (rol == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  return {};
}

QVariant TModeloRejilla::data(const QModelIndex& indice, int rol) const {
  if (rol != Qt::DisplayRole && rol != Qt::TextAlignmentRole) return {};
  if (!indice.isValid() || indice.row() >= Filas || indice.column() >= columnCount()) return {};
  // Drawing must never fail: a cell that cannot be read shows empty, and the failure
  // surfaces in whatever the user does next with the dataset.
  try {
    const data::TDataSet* datos = Enlace->DataSet();
    if (datos == nullptr || indice.row() >= Enlace->RecordCount()) return {};
    const TColumnaRejilla& columna = Columnas_[static_cast<size_t>(indice.column())];
    const data::TField* campo = datos->FindField(columna.Campo);
    if (campo == nullptr) return {};
    if (rol == Qt::TextAlignmentRole) {
      const bool numero = dynamic_cast<const data::TNumericField*>(campo) != nullptr;
      return QVariant::fromValue(Qt::Alignment((numero ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    const TEnlace::TLectura lectura(*Enlace, indice.row());
    return TextoCelda(*campo, columna);
  } catch (...) {
    return {};
  }
}

QString TModeloRejilla::TextoCelda(const data::TField& campo, const TColumnaRejilla& columna) const {
  if (campo.IsNull()) return {};
  const auto* numero = dynamic_cast<const data::TNumericField*>(&campo);
  if (numero == nullptr) return DesdeAnsi(campo.DisplayText());
  std::string formato = columna.Formato.empty() ? numero->DisplayFormat() : columna.Formato;
  if (formato.empty() && campo.DataType() == data::TFieldType::ftCurrency) {
    formato = data::TCurrencyField::DefaultDisplayFormat;
  }
  if (formato.empty() && !EsReal(campo.DataType())) return DesdeAnsi(campo.AsString());
  return DesdeAnsi(data::FormatFloat(formato, campo.AsFloat(), NotacionEspanola()));
}

int TModeloRejilla::FilaActiva() const {
  if (!Enlace->Active() || Enlace->RecordCount() == 0) return -1;
  return Enlace->ActiveRecord();
}

void TModeloRejilla::IrAFila(int fila) {
  if (!Enlace->Active() || fila < 0 || fila >= Enlace->RecordCount()) return;
  const int distancia = fila - Enlace->ActiveRecord();
  if (distancia == 0) return;
  try {
    Enlace->MoveBy(distancia);
  } catch (...) {
    // The grid goes back to the row the dataset stayed on.
    emit FilaActivaCambiada(FilaActiva());
    throw;
  }
}

void TModeloRejilla::AjustaVentana() {
  const data::TDataSet* datos = Enlace->DataSet();
  if (Ajustando || !Enlace->Active() || datos == nullptr) return;
  const int necesarias = datos->RecordCount() + 1;
  if (Enlace->BufferCount() >= necesarias) return;
  Ajustando = true;
  try {
    Enlace->SetBufferCount(necesarias);
  } catch (...) {
    // A row that cannot be read now stays out of the grid; the dataset reports the
    // failure to whoever reads it next. The link's notifications must not raise into the
    // dataset's own work.
  }
  Ajustando = false;
}

void TModeloRejilla::Releer() {
  AjustaVentana();
  beginResetModel();
  Filas = Enlace->RecordCount();
  endResetModel();
  emit FilaActivaCambiada(FilaActiva());
}

void TModeloRejilla::Desplazada(int distancia) {
  if (Enlace->RecordCount() != Filas) {
    Releer();
    return;
  }
  if (distancia != 0 && Filas > 0) emit dataChanged(index(0, 0), index(Filas - 1, columnCount() - 1));
  emit FilaActivaCambiada(FilaActiva());
}

void TModeloRejilla::FilaCambiada() {
  if (Enlace->RecordCount() != Filas) {
    Releer();
    return;
  }
  const int fila = FilaActiva();
  if (fila >= 0) emit dataChanged(index(fila, 0), index(fila, columnCount() - 1));
}

namespace {

void SeleccionaFila(QTableView& vista, const TModeloRejilla& modelo, int fila) {
  QItemSelectionModel* seleccion = vista.selectionModel();
  if (seleccion == nullptr) return;
  if (fila < 0) {
    seleccion->clear();
    return;
  }
  const int columna = std::max(seleccion->currentIndex().column(), 0);
  const QModelIndex indice = modelo.index(fila, columna);
  seleccion->setCurrentIndex(indice, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  vista.scrollTo(indice);
}

}  // namespace

void MuestraRejilla(QTableView& vista, TModeloRejilla& modelo) {
  vista.setModel(&modelo);
  vista.setEditTriggers(QAbstractItemView::NoEditTriggers);
  vista.setSelectionBehavior(QAbstractItemView::SelectRows);
  vista.setSelectionMode(QAbstractItemView::SingleSelection);
  vista.setTabKeyNavigation(false);
  vista.verticalHeader()->hide();
  vista.verticalHeader()->setDefaultSectionSize(vista.fontMetrics().height() + 4);
  QHeaderView& titulos = *vista.horizontalHeader();
  titulos.setSectionsClickable(false);
  titulos.setHighlightSections(false);
  titulos.setStretchLastSection(false);
  titulos.setDefaultAlignment(Qt::AlignCenter);
  for (size_t i = 0; i < modelo.Columnas().size(); ++i) {
    vista.setColumnWidth(static_cast<int>(i), modelo.Columnas()[i].Ancho);
  }

  QObject::connect(&modelo, &TModeloRejilla::FilaActivaCambiada, &vista,
                   [&vista, &modelo](int fila) { SeleccionaFila(vista, modelo, fila); });
  QObject::connect(vista.selectionModel(), &QItemSelectionModel::currentRowChanged, &modelo,
                   [&vista, &modelo](const QModelIndex& actual) {
                     if (actual.isValid()) Protegido(vista.window(), [&] { modelo.IrAFila(actual.row()); });
                   });
  SeleccionaFila(vista, modelo, modelo.FilaActiva());
}
