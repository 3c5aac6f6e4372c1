// The other process of the multi-process table tests: connects to a database file as a
// multi-user session and works on its table "Maximo" (any INTEGER, PenMax and TopeCot
// FLOAT, index "ANY") on command. One command line in, one number back: 0 or the result
// asked for, or the native code of the engine exception the command raised.
//
// Commands: "open PATH"; "open-single PATH" (as a single-user session); "delete PATH" (the table deleted); "insert FROM COUNT [PAUSE]"
// (the years FROM .. FROM + COUNT - 1, each posted and committed on its own, PAUSE ms
// apart); "stream FROM COUNT" (the same, answering each year on a line of its own once
// it is committed, then 0); "count" (rows); "find YEAR" (1 when the key search finds the
// year); "sum" (the years read in index order, added); "close".
#include <bit>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/table/ZDBTableAccess.h"
#include "platform/os/System.h"

namespace {

using namespace zdb;

class PeerSession : public TZDBBaseSession {
 public:
  bool MultiUser() const override { return multiUser_; }
  void SetMultiUser(bool multiUser) { multiUser_ = multiUser; }

 private:
  bool multiUser_ = true;
};

class Peer {
 public:
  ~Peer() { Close(); }

  void Open(const std::string& path, bool multiUser = true) {
    connection_.MultiUser = multiUser;
    session_.SetMultiUser(multiUser);
    data_ = &TZDBDatabaseDataRegistry::Instance().Connect(path, connection_);
    session_.SetSessionID(connection_.SessionID);
    cursor_ = std::make_unique<TZDBTableCursor>(session_, "Maximo");
    table_ = std::make_unique<TZDBOpenTable>(*data_, *cursor_);
    key_.assign(static_cast<size_t>(table_->Data().RecordBufferSize()), 0);
  }

  void Delete(const std::string& path) {
    connection_.MultiUser = true;
    data_ = &TZDBDatabaseDataRegistry::Instance().Connect(path, connection_);
    session_.SetSessionID(connection_.SessionID);
    TZDBTableCursor cursor(session_, "Maximo");
    TZDBDiskTableData& table = DiskTableDataOf(*data_, "Maximo");
    try {
      table.DeleteTable(cursor, false);
    } catch (...) {
      ReleaseDiskTableData(table);
      throw;
    }
    ReleaseDiskTableData(table);
  }

  void Close() {
    table_.reset();
    cursor_.reset();
    if (data_ != nullptr) TZDBDatabaseDataRegistry::Instance().Disconnect(*data_, connection_);
    data_ = nullptr;
  }

  void Insert(int32_t year) {
    SetYear(cursor_->MutableRecordBuffer(), year);
    uint8_t* row = cursor_->MutableRecordBuffer();
    PutFloat(row, 1, year + 0.25);
    PutFloat(row, 2, year * 2 + 0.5);
    PostInsert(table_->Data(), *cursor_);
  }

  int64_t Count() { return table_->Data().GetRecordCount(*cursor_); }

  bool Find(int32_t year) {
    cursor_->SetIndexID(AnyIndex());
    SetYear(key_.data(), year);
    cursor_->SetSearchKey(key_.data(), static_cast<int32_t>(key_.size()), 1);
    return table_->Data().FindKey(*cursor_, TZDBSearchOperator::Equal);
  }

  int64_t Sum() {
    cursor_->SetIndexID(AnyIndex());
    cursor_->SetToBegin();
    int64_t sum = 0;
    while (table_->Data().GetRecord(*cursor_, grmNext) == grOK)
      sum += le::GetI32(cursor_->RecordBuffer() + Fields().Items(0).MemoryOffset());
    return sum;
  }

 private:
  const TZDBFieldDefs& Fields() const { return table_->Data().FieldManager()->FieldDefs(); }
  int32_t AnyIndex() const {
    return table_->Data().IndexManager()->FindIndexDefByName("ANY", cursor_->SessionID())->ObjectID();
  }
  void SetYear(uint8_t* row, int32_t year) const {
    table_->Data().FieldManager()->InitRecordBuffer(row);
    le::PutI32(row + Fields().Items(0).MemoryOffset(), year);
    SetFieldNull(row, 0, false);
  }
  void PutFloat(uint8_t* row, int32_t fieldNo, double value) const {
    le::PutU64(row + Fields().Items(fieldNo).MemoryOffset(), std::bit_cast<uint64_t>(value));
    SetFieldNull(row, fieldNo, false);
  }

  TZDBSessionConnection connection_;
  TZDBDiskDatabaseData* data_ = nullptr;
  PeerSession session_;
  std::unique_ptr<TZDBTableCursor> cursor_;
  std::unique_ptr<TZDBOpenTable> table_;
  std::vector<uint8_t> key_;
};

int64_t Execute(const std::string& line, Peer& peer) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open" || command == "open-single") {
    std::string path;
    std::getline(in >> std::ws, path);
    peer.Open(path, command == "open");
    return 0;
  }
  if (command == "delete") {
    std::string path;
    std::getline(in >> std::ws, path);
    peer.Delete(path);
    return 0;
  }
  if (command == "insert" || command == "stream") {
    int32_t from = 0;
    int32_t count = 0;
    uint32_t pauseMs = 0;
    in >> from >> count;
    in >> pauseMs;
    for (int32_t year = from; year < from + count; ++year) {
      peer.Insert(year);
      if (command == "stream") std::cout << year << std::endl;
      if (pauseMs > 0) os::SleepMs(pauseMs);
    }
    return 0;
  }
  if (command == "count") return peer.Count();
  if (command == "find") {
    int32_t year = 0;
    in >> year;
    return peer.Find(year) ? 1 : 0;
  }
  if (command == "sum") return peer.Sum();
  if (command == "close") {
    peer.Close();
    return 0;
  }
  return -1;
}

}  // namespace

int main() {
  Peer peer;
  std::string line;
  while (std::getline(std::cin, line)) {
    int64_t reply = 0;
    try {
      reply = Execute(line, peer);
    } catch (const EZDBException& e) {
      reply = e.NativeError();
    } catch (const std::exception&) {
      reply = -1;
    }
    std::cout << reply << std::endl;
  }
  return 0;
}
