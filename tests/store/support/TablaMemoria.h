// A table kept in memory for the store's and the windows' tests: a dataset of whole-number
// and floating columns whose rows stay in the order of one of them, the way an engine table
// opened on an index does, with the exact and nearest key searches of such a table.
//
// Record buffer: per column a null byte and the native data, then the row id (int32, the
// bookmark) and the bookmark flag. Tests seed rows, change them behind the dataset's back
// (another writer) and make opening, posting and deleting fail on demand.
#pragma once

#include "engine/framework/DataSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pruebas {

class TTablaMemoria : public data::TDataSet {
 public:
  using TValor = std::optional<double>;  // none: NULL

  explicit TTablaMemoria(std::string nombre);
  ~TTablaMemoria() override;

  // Columns, before the first open: ftInteger or ftFloat.
  void DefineCampo(std::string nombre, data::TFieldType tipo);
  // Rows keep the order of this column (ascending; rows with equal keys keep their order).
  void OrdenaPor(std::string nombre);
  // A stored row; it takes its place in the key order.
  void AnadeFila(const std::vector<TValor>& valores);

  // The stored rows, in order, as values.
  std::vector<std::vector<TValor>> Filas() const;
  // Another writer: every stored row goes.
  void VaciaFilas() { filas_.clear(); }

  // The key searches of an indexed table on the key column. Exact: the row becomes current
  // (true), or nothing moves (false). Nearest: the first row whose key is at least clave,
  // else the last row.
  bool BuscaClave(double clave);
  void BuscaCercana(double clave);

  // The next call of the hook raises EDatabaseError with the text.
  void FallaApertura(std::string texto) { aperturaFalla_ = std::move(texto); }
  void FallaGrabacion(std::string texto) { grabacionFalla_ = std::move(texto); }
  void FallaBorrado(std::string texto) { borradoFalla_ = std::move(texto); }

  int Aperturas() const { return aperturas_; }
  int Cierres() const { return cierres_; }

  bool BookmarkValid(const data::TBookmark& bookmark) override;
  int CompareBookmarks(const data::TBookmark& a, const data::TBookmark& b) override;
  bool GetFieldData(const data::TField& field, void* buffer) override;
  void SetFieldData(data::TField& field, const void* buffer) override;

 protected:
  data::TRecordBufferPtr AllocRecordBuffer() override;
  void InternalInitRecord(data::TRecordBuffer buffer) override;
  int GetRecordSize() const override { return tamanoFila_; }
  data::TGetResult GetRecord(data::TRecordBuffer buffer, data::TGetMode mode, bool doCheck) override;
  void InternalFirst() override { posicion_ = -1; }
  void InternalLast() override { posicion_ = static_cast<int>(filas_.size()); }
  void InternalSetToRecord(data::TRecordBuffer buffer) override;
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  int GetRecordCount() const override { return static_cast<int>(filas_.size()); }
  int GetRecNo() const override;
  void InternalSetRecNo(int value) override;
  void GetBookmarkData(data::TRecordBuffer buffer, uint8_t* data) const override;
  void SetBookmarkData(data::TRecordBuffer buffer, const uint8_t* data) override;
  data::TBookmarkFlag GetBookmarkFlag(data::TRecordBuffer buffer) const override;
  void SetBookmarkFlag(data::TRecordBuffer buffer, data::TBookmarkFlag flag) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return abierta_; }
  void InternalInitFieldDefs() override;
  void InternalPost() override;
  void InternalDelete() override;

 private:
  struct TColumna {
    std::string Nombre;
    data::TFieldType Tipo;
    int Desplazamiento = 0;  // of its null byte in the record buffer
  };
  struct TFila {
    int32_t Id = 0;
    std::vector<TValor> Valores;
  };

  static void Dispara(std::string& falla);
  int IndiceDeId(int32_t id) const;
  int32_t IdDe(data::TRecordBuffer buffer) const;
  void PonId(data::TRecordBuffer buffer, int32_t id) const;
  void Codifica(const TFila& fila, data::TRecordBuffer buffer) const;
  std::vector<TValor> Decodifica(data::TRecordBuffer buffer) const;
  TValor Clave(const TFila& fila) const;
  // Puts the row with that id where the key order wants it; returns its new index.
  int Recoloca(int32_t id);
  void IrAId(int32_t id);

  std::vector<TColumna> columnas_;
  std::vector<TFila> filas_;
  std::optional<size_t> columnaClave_;
  int32_t siguienteId_ = 1;
  int tamanoFila_ = 0;
  int posicion_ = -1;  // -1 before the first row, filas_.size() after the last
  bool abierta_ = false;
  std::string aperturaFalla_, grabacionFalla_, borradoFalla_;
  int aperturas_ = 0;
  int cierres_ = 0;
};

}  // namespace pruebas
