#include "tests/fuzz/FuzzPipeline.h"

#include <exception>
#include <functional>
#include <sstream>
#include <typeinfo>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/framework/BlobFields.h"
#include "engine/framework/DatabaseError.h"
#include "engine/table/ZDBIndexDef.h"
#include "tools/zdb/ZdbCheckCommand.h"

namespace zdbfuzz {
namespace {

constexpr const char* ComponentName = "FuzzTarget";

// Runs one step: the engine's errors are the damaged file's answer, anything else is a
// fault of the engine. Answers false when the step was refused or faulted.
bool Step(TPipelineReport& report, const char* step, std::string& outcome, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const zdb::EZDBException& error) {
    report.Refusals.push_back(std::string(step) + ": " + error.what());
  } catch (const data::EDatabaseError& error) {
    report.Refusals.push_back(std::string(step) + ": " + error.what());
  } catch (const std::exception& error) {
    report.Faults.push_back(std::string(step) + ": " + typeid(error).name() + ": " + error.what());
  } catch (...) {
    report.Faults.push_back(std::string(step) + ": an exception that is no std::exception");
  }
  outcome = "refused";
  return false;
}

void ReadFields(const zdb::TZDBTable& table) {
  for (int i = 0; i < table.FieldCount(); ++i) {
    data::TField& field = table.Fields(i);
    if (auto* blob = dynamic_cast<data::TBlobField*>(&field))
      blob->AsBytes();
    else
      field.AsString();
  }
}

// Every row of the table in the order of the index (physical order for ""), backwards
// as well for the physical order.
int64_t ReadTable(const std::string& tableName, const std::string& indexName, std::vector<std::string>* indexes) {
  zdb::TZDBTable table;
  table.SetDatabaseName(ComponentName);
  table.SetTableName(tableName);
  table.SetReadOnly(true);
  if (!indexName.empty()) table.SetIndexName(indexName);
  table.Open();
  if (indexes != nullptr) {
    const zdb::TZDBIndexDefs& defs = table.Cursor()->IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) indexes->push_back(defs.Items(i).Name());
  }
  int64_t rows = 0;
  for (table.First(); !table.Eof(); table.Next(), ++rows) ReadFields(table);
  if (indexName.empty())
    for (table.Last(); !table.Bof(); table.Prior()) ReadFields(table);
  table.Close();
  return rows;
}

}  // namespace

std::string TPipelineReport::Summary() const {
  return "open " + Open + ", read " + Read + " (" + std::to_string(RowsRead) + " rows), check " + Check +
         ", repair " + Repair + (Repaired.empty() ? "" : " (" + Repaired + ")");
}

TPipelineReport RunPipeline(const std::string& path) {
  TPipelineReport report;
  report.Open = report.Read = report.Check = report.Repair = "skipped";
  {
    zdb::TZDBDatabase database;
    database.SetDatabaseName(ComponentName);
    database.SetDatabaseFileName(path);
    database.SetMultiUser(true);
    if (Step(report, "open", report.Open, [&] { database.Open(); })) report.Open = "ok";

    std::vector<std::string> tables;
    if (Step(report, "table list", report.Read, [&] { database.GetTableNames(tables); })) {
      report.Read = "ok";
      for (const std::string& tableName : tables) {
        std::vector<std::string> indexes;
        // Each table and order on its own: a refusal of one leaves the others to read.
        if (!Step(report, "read", report.Read, [&] { report.RowsRead += ReadTable(tableName, "", &indexes); }))
          continue;
        for (const std::string& indexName : indexes)
          Step(report, "read", report.Read, [&] { report.RowsRead += ReadTable(tableName, indexName, nullptr); });
      }
    }
    Step(report, "close", report.Read, [&] { database.Close(); });

    std::ostringstream problems;
    Step(report, "check", report.Check,
         [&] { report.Check = zdbtool::CheckCommand(path, {}, problems) == 0 ? "clean" : "damaged"; });
    if (report.Check == "damaged") report.Refusals.push_back("check: " + problems.str());

    database.SetSilentMode(true);
    Step(report, "repair", report.Repair, [&] { report.Repair = database.Repair() ? "replaced" : "kept"; });
    Step(report, "close", report.Repair, [&] { database.Close(); });
    if (report.Repair == "replaced") {
      std::ostringstream after;
      Step(report, "check after repair", report.Repaired,
           [&] { report.Repaired = zdbtool::CheckCommand(path, {}, after) == 0 ? "clean" : "damaged"; });
      if (report.Repaired == "damaged") report.Refusals.push_back("check after repair: " + after.str());
    }
  }
  if (zdb::TZDBDatabaseDataRegistry::Instance().Find(path) != nullptr)
    report.Faults.push_back("the file stays open in the process after every component has gone");
  return report;
}

}  // namespace zdbfuzz
