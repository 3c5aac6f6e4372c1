#include "tests/store/support/TablaMemoria.h"

#include "engine/framework/DataConsts.h"
#include "engine/framework/DatabaseError.h"
#include "engine/framework/FieldClasses.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace pruebas {

using data::TBookmarkFlag;
using data::TFieldType;
using data::TGetMode;
using data::TGetResult;
using data::TRecordBuffer;

namespace {
constexpr int TamanoId = 4;
constexpr int TamanoMarca = 1;
constexpr uint8_t ByteNulo = 1;
}  // namespace

TTablaMemoria::TTablaMemoria(std::string nombre) { SetName(std::move(nombre)); }

TTablaMemoria::~TTablaMemoria() { Close(); }

void TTablaMemoria::Dispara(std::string& falla) {
  if (falla.empty()) return;
  const std::string texto = std::exchange(falla, {});
  throw data::EDatabaseError(texto);
}

void TTablaMemoria::DefineCampo(std::string nombre, TFieldType tipo) {
  if (tipo != TFieldType::ftInteger && tipo != TFieldType::ftFloat) throw std::logic_error("column type not kept");
  int desplazamiento = tamanoFila_;
  columnas_.push_back({std::move(nombre), tipo, desplazamiento});
  tamanoFila_ = desplazamiento + 1 + data::NativeDataSize(tipo, 0);
}

void TTablaMemoria::OrdenaPor(std::string nombre) {
  for (size_t i = 0; i < columnas_.size(); ++i)
    if (columnas_[i].Nombre == nombre) columnaClave_ = i;
  if (!columnaClave_) throw std::logic_error("no column " + nombre);
}

void TTablaMemoria::AnadeFila(const std::vector<TValor>& valores) {
  TFila fila{siguienteId_++, valores};
  fila.Valores.resize(columnas_.size());
  filas_.push_back(std::move(fila));
  Recoloca(filas_.back().Id);
}

std::vector<std::vector<TTablaMemoria::TValor>> TTablaMemoria::Filas() const {
  std::vector<std::vector<TValor>> valores;
  for (const TFila& fila : filas_) valores.push_back(fila.Valores);
  return valores;
}

TTablaMemoria::TValor TTablaMemoria::Clave(const TFila& fila) const {
  return columnaClave_ ? fila.Valores[*columnaClave_] : TValor();
}

int TTablaMemoria::Recoloca(int32_t id) {
  const int indice = IndiceDeId(id);
  if (!columnaClave_ || indice < 0) return indice;
  TFila fila = std::move(filas_[static_cast<size_t>(indice)]);
  filas_.erase(filas_.begin() + indice);
  // NULL sorts first, as in an index.
  const auto despues = std::upper_bound(filas_.begin(), filas_.end(), fila,
                                        [this](const TFila& a, const TFila& b) { return Clave(a) < Clave(b); });
  const auto donde = filas_.insert(despues, std::move(fila));
  return static_cast<int>(donde - filas_.begin());
}

void TTablaMemoria::IrAId(int32_t id) {
  data::TBookmark marca(TamanoId);
  std::memcpy(marca.data(), &id, TamanoId);
  GotoBookmark(marca);
}

bool TTablaMemoria::BuscaClave(double clave) {
  CheckBrowseMode();
  for (const TFila& fila : filas_) {
    if (Clave(fila) == clave) {
      IrAId(fila.Id);
      return true;
    }
  }
  return false;
}

void TTablaMemoria::BuscaCercana(double clave) {
  CheckBrowseMode();
  if (filas_.empty()) return;
  for (const TFila& fila : filas_) {
    if (Clave(fila) >= clave) {
      IrAId(fila.Id);
      return;
    }
  }
  IrAId(filas_.back().Id);
}

// --- Buffers and bookmarks ------------------------------------------------------------

data::TRecordBufferPtr TTablaMemoria::AllocRecordBuffer() {
  return data::TRecordBufferPtr(new uint8_t[static_cast<size_t>(tamanoFila_ + TamanoId + TamanoMarca)]());
}

void TTablaMemoria::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<size_t>(tamanoFila_ + TamanoId + TamanoMarca));
  for (const TColumna& columna : columnas_) buffer[columna.Desplazamiento] = ByteNulo;
  PonId(buffer, -1);
}

void TTablaMemoria::Codifica(const TFila& fila, TRecordBuffer buffer) const {
  for (size_t i = 0; i < columnas_.size(); ++i) {
    const TColumna& columna = columnas_[i];
    uint8_t* en = buffer + columna.Desplazamiento;
    const TValor& valor = fila.Valores[i];
    en[0] = valor ? 0 : ByteNulo;
    if (columna.Tipo == TFieldType::ftInteger) {
      const int32_t entero = valor ? static_cast<int32_t>(*valor) : 0;
      std::memcpy(en + 1, &entero, sizeof entero);
    } else {
      const double real = valor.value_or(0);
      std::memcpy(en + 1, &real, sizeof real);
    }
  }
  PonId(buffer, fila.Id);
}

std::vector<TTablaMemoria::TValor> TTablaMemoria::Decodifica(TRecordBuffer buffer) const {
  std::vector<TValor> valores;
  for (const TColumna& columna : columnas_) {
    const uint8_t* en = buffer + columna.Desplazamiento;
    if (en[0] == ByteNulo) {
      valores.emplace_back();
    } else if (columna.Tipo == TFieldType::ftInteger) {
      int32_t entero = 0;
      std::memcpy(&entero, en + 1, sizeof entero);
      valores.emplace_back(entero);
    } else {
      double real = 0;
      std::memcpy(&real, en + 1, sizeof real);
      valores.emplace_back(real);
    }
  }
  return valores;
}

int32_t TTablaMemoria::IdDe(TRecordBuffer buffer) const {
  int32_t id = 0;
  std::memcpy(&id, buffer + tamanoFila_, TamanoId);
  return id;
}

void TTablaMemoria::PonId(TRecordBuffer buffer, int32_t id) const { std::memcpy(buffer + tamanoFila_, &id, TamanoId); }

void TTablaMemoria::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) const {
  std::memcpy(data, buffer + tamanoFila_, TamanoId);
}

void TTablaMemoria::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + tamanoFila_, data, TamanoId);
}

TBookmarkFlag TTablaMemoria::GetBookmarkFlag(TRecordBuffer buffer) const {
  return static_cast<TBookmarkFlag>(buffer[tamanoFila_ + TamanoId]);
}

void TTablaMemoria::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[tamanoFila_ + TamanoId] = static_cast<uint8_t>(flag);
}

int TTablaMemoria::IndiceDeId(int32_t id) const {
  for (size_t i = 0; i < filas_.size(); ++i)
    if (filas_[i].Id == id) return static_cast<int>(i);
  return -1;
}

bool TTablaMemoria::BookmarkValid(const data::TBookmark& bookmark) {
  if (bookmark.size() != TamanoId) return false;
  int32_t id = 0;
  std::memcpy(&id, bookmark.data(), TamanoId);
  return IndiceDeId(id) >= 0;
}

int TTablaMemoria::CompareBookmarks(const data::TBookmark& a, const data::TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
  int32_t idA = 0, idB = 0;
  std::memcpy(&idA, a.data(), TamanoId);
  std::memcpy(&idB, b.data(), TamanoId);
  const int indiceA = IndiceDeId(idA), indiceB = IndiceDeId(idB);
  return indiceA < indiceB ? -1 : (indiceA > indiceB ? 1 : 0);
}

// --- The cursor -----------------------------------------------------------------------

TGetResult TTablaMemoria::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  const int cuantas = static_cast<int>(filas_.size());
  switch (mode) {
    case TGetMode::gmCurrent:
      if (posicion_ < 0 || posicion_ >= cuantas) return TGetResult::grError;
      break;
    case TGetMode::gmNext:
      if (posicion_ + 1 >= cuantas) {
        posicion_ = cuantas;
        return TGetResult::grEOF;
      }
      ++posicion_;
      break;
    case TGetMode::gmPrior:
      if (posicion_ - 1 < 0 || cuantas == 0) {
        posicion_ = -1;
        return TGetResult::grBOF;
      }
      posicion_ = std::min(posicion_, cuantas) - 1;
      break;
  }
  Codifica(filas_[static_cast<size_t>(posicion_)], buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfCurrent);
  return TGetResult::grOK;
}

void TTablaMemoria::InternalSetToRecord(TRecordBuffer buffer) {
  uint8_t marca[TamanoId];
  GetBookmarkData(buffer, marca);
  InternalGotoBookmark(marca);
}

void TTablaMemoria::InternalGotoBookmark(const uint8_t* bookmark) {
  int32_t id = 0;
  std::memcpy(&id, bookmark, TamanoId);
  posicion_ = IndiceDeId(id);  // a vanished row: before the first
}

int TTablaMemoria::GetRecNo() const {
  const int indice = IndiceDeId(IdDe(ActiveBuffer()));
  return indice < 0 ? -1 : indice + 1;
}

void TTablaMemoria::InternalSetRecNo(int value) {
  if (filas_.empty()) return;
  posicion_ = std::clamp(value, 1, static_cast<int>(filas_.size())) - 1;
}

// --- Opening --------------------------------------------------------------------------

void TTablaMemoria::InternalInitFieldDefs() {
  for (const TColumna& columna : columnas_) FieldDefs().Add(columna.Nombre, columna.Tipo);
}

void TTablaMemoria::InternalOpen() {
  Dispara(aperturaFalla_);
  ++aperturas_;
  SetBookmarkSize(TamanoId);
  InitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  posicion_ = -1;
  abierta_ = true;
}

void TTablaMemoria::InternalClose() {
  if (abierta_) ++cierres_;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  abierta_ = false;
}

// --- Fields ---------------------------------------------------------------------------

bool TTablaMemoria::GetFieldData(const data::TField& field, void* buffer) {
  const data::TDataSetState estado = State();
  const bool conFila = estado == data::TDataSetState::dsBrowse || estado == data::TDataSetState::dsEdit ||
                       estado == data::TDataSetState::dsInsert;
  TRecordBuffer fila = conFila ? ActiveBuffer() : nullptr;
  if (fila == nullptr || field.FieldNo() == 0) return false;
  const TColumna& columna = columnas_.at(static_cast<size_t>(field.FieldNo() - 1));
  if (fila[columna.Desplazamiento] == ByteNulo) return false;
  if (buffer != nullptr) std::memcpy(buffer, fila + columna.Desplazamiento + 1, static_cast<size_t>(field.DataSize()));
  return true;
}

void TTablaMemoria::SetFieldData(data::TField& field, const void* buffer) {
  if (State() != data::TDataSetState::dsEdit && State() != data::TDataSetState::dsInsert) DatabaseError(data::SNotEditing);
  field.Validate(buffer);
  TRecordBuffer fila = ActiveBuffer();
  const TColumna& columna = columnas_.at(static_cast<size_t>(field.FieldNo() - 1));
  fila[columna.Desplazamiento] = buffer == nullptr ? ByteNulo : 0;
  const size_t tamano = static_cast<size_t>(field.DataSize());
  if (buffer != nullptr) {
    std::memcpy(fila + columna.Desplazamiento + 1, buffer, tamano);
  } else {
    std::memset(fila + columna.Desplazamiento + 1, 0, tamano);
  }
  DataEvent(data::TDataEvent::deFieldChange, {&field, 0});
}

// --- Editing --------------------------------------------------------------------------

void TTablaMemoria::InternalPost() {
  Dispara(grabacionFalla_);
  TRecordBuffer activa = ActiveBuffer();
  int32_t id = IdDe(activa);
  if (State() == data::TDataSetState::dsInsert) {
    id = siguienteId_++;
    filas_.push_back({id, Decodifica(activa)});
    PonId(activa, id);
  } else {
    const int indice = IndiceDeId(id);
    if (indice < 0) DatabaseError("Record was deleted by another writer");
    filas_[static_cast<size_t>(indice)].Valores = Decodifica(activa);
  }
  posicion_ = Recoloca(id);
}

void TTablaMemoria::InternalDelete() {
  Dispara(borradoFalla_);
  const int indice = IndiceDeId(IdDe(ActiveBuffer()));
  if (indice < 0) DatabaseError("Record was deleted by another writer");
  filas_.erase(filas_.begin() + indice);
  posicion_ = indice;
}

}  // namespace pruebas
