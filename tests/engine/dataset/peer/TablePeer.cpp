// Another process that works on table "Maximo" of a database file on a test's command:
// what a second copy of the program does to the same file. One command line in, one
// number back: 0 success, an engine code (-1 .. -13) for an engine error of the editing
// cycle, 1 "not found", 2 for any other failure (its text goes to stderr).
//
// The table is opened as the program opens it: a database component "Zelmarot" names the
// file, multi-user, and the table names the component by DatabaseName, index "ANY".
//
// Commands:
//   open PATH [TABLE]      opens the file and the table ("Maximo" unless named)
//   find YEAR              exact key search (1 when there is no such year)
//   edit | post | cancel | delete | insert | refresh | close
//   set FIELD VALUE        a float field ("null" clears it)
//   year VALUE             the key field of a row being inserted
//   fill FIELD COUNT CHAR  a text or large-value field: COUNT times the character (0: NULL)
//   maximo                 the program's editing sequence: finds 2023, adds 1 to its
//                          PenMax and posts, inserts 2027 unless it is there, and browses
//                          every row (2 when they do not come in year order)
//   add YEAR AMOUNT TIMES  answers at once, then adds AMOUNT to the year's PenMax TIMES
//                          times, each a find, edit and post, starting again when another
//                          copy changed or held the row meanwhile
//   result                 the outcome of the last "add" or "end-after", once it has finished
//   start | commit         a transaction of the database component (its write locks stay
//                          until it ends)
//   end-after MS           answers at once, then after MS milliseconds cancels the edit under
//                          way and commits the transaction
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "engine/dataset/ZDBEngineError.h"
#include "engine/dataset/ZDBMain.h"

namespace {

constexpr int Ok = 0;
constexpr int NotFound = 1;
constexpr int OtherFailure = 2;

zdb::PlatformVariant Year(int32_t year) { return zdb::PlatformVariant::Integral(zdb::TVarType::Integer, year); }

class Peer {
 public:
  int Run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "open") {
      std::string path;
      std::string table = "Maximo";
      words >> path >> table;
      Open(path, table);
    } else if (command == "find") {
      int32_t year = 0;
      words >> year;
      return Table().FindKey({Year(year)}) ? Ok : NotFound;
    } else if (command == "edit") {
      Table().Edit();
    } else if (command == "post") {
      Table().Post();
    } else if (command == "cancel") {
      Table().Cancel();
    } else if (command == "delete") {
      Table().Delete();
    } else if (command == "insert") {
      Table().Insert();
    } else if (command == "refresh") {
      Table().Refresh();
    } else if (command == "close") {
      Table().Close();
    } else if (command == "set") {
      std::string field;
      std::string value;
      words >> field >> value;
      if (value == "null")
        Table().FieldByName(field).Clear();
      else
        Table().FieldByName(field).SetAsFloat(std::stod(value));
    } else if (command == "year") {
      int32_t year = 0;
      words >> year;
      Table().FieldByName("any").SetAsInteger(year);
    } else if (command == "fill") {
      std::string field;
      size_t count = 0;
      char character = ' ';
      words >> field >> count >> character;
      Table().FieldByName(field).SetAsString(std::string(count, character));
    } else if (command == "start") {
      Database().StartTransaction();
    } else if (command == "commit") {
      Database().Commit();
    } else if (command == "maximo") {
      return Maximo();
    } else {
      throw std::runtime_error("unknown command: " + line);
    }
    return Ok;
  }

  // Adds amount to the year's PenMax, times times; another copy's change or lock only
  // makes it start that addition again.
  int Add(int32_t year, double amount, int times) {
    for (int done = 0; done < times;) {
      try {
        if (!Table().FindKey({Year(year)})) return NotFound;
        Table().Edit();
        Table().FieldByName("PenMax").SetAsFloat(Table().FieldByName("PenMax").AsFloat() + amount);
        Table().Post();
        ++done;
      } catch (const zdb::EZDBEngineError& e) {
        if (e.EngineCode() != zdb::engine_code::UpdateModifiedByOther &&
            e.EngineCode() != zdb::engine_code::RecordLocked && e.EngineCode() != zdb::engine_code::TableLocked)
          throw;
        std::cerr << "peer: again after " << e.what() << '\n';
        if (Table().State() != data::TDataSetState::dsBrowse) Table().Cancel();
      }
    }
    return Ok;
  }

  // Holds what the transaction and the edit hold for a while, then lets both go.
  int EndAfter(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    if (Table().State() != data::TDataSetState::dsBrowse) Table().Cancel();
    Database().Commit();
    return Ok;
  }

 private:
  zdb::TZDBDatabase& Database() {
    if (!database_) throw std::runtime_error("no database is open");
    return *database_;
  }

  zdb::TZDBTable& Table() {
    if (!table_) throw std::runtime_error("no table is open");
    return *table_;
  }

  void Open(const std::string& path, const std::string& tableName) {
    // The component of an earlier open goes first: the name is taken until then.
    table_.reset();
    database_.reset();
    database_ = std::make_unique<zdb::TZDBDatabase>();
    database_->SetDatabaseName("Zelmarot");
    database_->SetDatabaseFileName(path);
    database_->SetMultiUser(true);
    table_ = std::make_unique<zdb::TZDBTable>();
    table_->SetDatabaseName("Zelmarot");
    table_->SetTableName(tableName);
    table_->SetIndexName("ANY");
    table_->Open();
  }

  int Maximo() {
    zdb::TZDBTable& table = Table();
    if (!table.FindKey({Year(2023)})) return NotFound;
    table.Edit();
    table.FieldByName("PenMax").SetAsFloat(table.FieldByName("PenMax").AsFloat() + 1);
    table.Post();
    if (!table.FindKey({Year(2027)})) {
      table.Insert();
      table.FieldByName("any").SetAsInteger(2027);
      table.FieldByName("PenMax").SetAsFloat(3500.5);
      table.FieldByName("TopeCot").SetAsFloat(5000);
      table.Post();
    }
    bool first = true;
    int32_t previous = 0;
    for (table.First(); !table.Eof(); table.Next()) {
      const int32_t year = table.FieldByName("any").AsInteger();
      if (!first && year <= previous) return OtherFailure;
      first = false;
      previous = year;
    }
    return Ok;
  }

  std::unique_ptr<zdb::TZDBDatabase> database_;
  std::unique_ptr<zdb::TZDBTable> table_;
};

// The work's answer, or the code of what it raised.
template <typename Work>
int Guarded(Work work) {
  try {
    return work();
  } catch (const zdb::EZDBEngineError& e) {
    std::cerr << "peer: " << e.what() << '\n';
    return e.EngineCode();
  } catch (const std::exception& e) {
    std::cerr << "peer: " << e.what() << '\n';
    return OtherFailure;
  }
}

void Reply(int code) {
  std::printf("%d\n", code);
  std::fflush(stdout);
}

}  // namespace

int main() {
  Peer peer;
  int lastAdd = Ok;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "add") {
      int32_t year = 0;
      double amount = 0;
      int times = 0;
      words >> year >> amount >> times;
      Reply(Ok);  // the test starts the other copy meanwhile
      lastAdd = Guarded([&] { return peer.Add(year, amount, times); });
    } else if (command == "end-after") {
      int milliseconds = 0;
      words >> milliseconds;
      Reply(Ok);  // the test starts its own change meanwhile
      lastAdd = Guarded([&] { return peer.EndAfter(milliseconds); });
    } else if (command == "result") {
      Reply(lastAdd);
    } else {
      Reply(Guarded([&] { return peer.Run(line); }));
    }
  }
  return 0;
}
