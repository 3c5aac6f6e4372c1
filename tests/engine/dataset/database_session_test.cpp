// The session list, the session and database components and their connection to the
// file: names, connecting by DatabaseName, the connection kept after the datasets close,
// sharing one open file, and the errors of misuse.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/SessionTestSupport.h"

namespace zdb {
namespace {

using test::DatabaseErrorText;
using test::ErrorText;
using test::Raised;
using test::RecordingDataset;

TZDBSession& DefaultSession() { return Sessions().DefaultSession(); }

class DatabaseSession : public testing::Test {
 protected:
  DatabaseSession() { test::MakeDatabaseFile(path_, 20); }
  ~DatabaseSession() override {
    // Nothing a test made outlives it: no component, no open file.
    EXPECT_TRUE(DefaultSession().Databases().empty());
    EXPECT_FALSE(test::IsOpenInProcess(path_));
  }

  // The program's component: "Zelmarot", multi-user, 500 connections.
  void Place(TZDBDatabase& database, const std::string& name = "Zelmarot") const {
    database.SetDatabaseName(name);
    database.SetMultiUser(true);
    database.SetMaxConnections(500);
    database.SetDatabaseFileName(path_);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
};

TEST_F(DatabaseSession, DefaultSessionIsListedFirstAndFoundByAnyCase) {
  TZDBSessionList& list = Sessions();
  ASSERT_FALSE(list.List().empty());
  EXPECT_EQ(list.List().front(), &DefaultSession());
  EXPECT_TRUE(DefaultSession().IsDefault());
  EXPECT_EQ(DefaultSession().SessionName(), "Default");
  EXPECT_EQ(list.FindSession("DEFAULT"), &DefaultSession());
  EXPECT_EQ(list.FindSession(""), &DefaultSession());
  EXPECT_EQ(list.FindSession("Nowhere"), nullptr);
  const auto error = Raised([&] { list.GetSession("Nowhere"); });
  EXPECT_EQ(error.text, ErrorText("Invalid session name 'Nowhere'", 20002));
}

TEST_F(DatabaseSession, DatasetConnectsThePlacedComponentAndTheFileStaysOpen) {
  TZDBDatabase zelmarot;
  Place(zelmarot);
  EXPECT_EQ(zelmarot.SessionName(), "Default");
  EXPECT_EQ(zelmarot.Session(), &DefaultSession());

  TZDBDiskDatabaseData* data = nullptr;
  {
    RecordingDataset maximo(DefaultSession(), "ZELMAROT");
    ASSERT_TRUE(zelmarot.Connected());
    EXPECT_EQ(zelmarot.UserCount(), 1);
    EXPECT_EQ(zelmarot.SessionID(), 0);  // the first free slot
    EXPECT_TRUE(zelmarot.Handle()->MultiUser());
    EXPECT_FALSE(zelmarot.ReadOnly());
    // The file's own settings replace the component's.
    EXPECT_EQ(zelmarot.MaxConnections(), 20);
    data = zelmarot.DatabaseData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data, TZDBDatabaseDataRegistry::Instance().Find(path_));
    EXPECT_EQ(data->SessionCount(), 1u);
  }
  // The dataset closed; the connection stays for the next one.
  EXPECT_TRUE(zelmarot.Connected());
  EXPECT_EQ(zelmarot.UserCount(), 0);
  EXPECT_TRUE(test::IsOpenInProcess(path_));
  {
    RecordingDataset again(DefaultSession(), "Zelmarot");
    EXPECT_EQ(zelmarot.DatabaseData(), data);
    EXPECT_EQ(zelmarot.SessionID(), 0);
  }
  zelmarot.Close();
  EXPECT_FALSE(zelmarot.Connected());
  EXPECT_FALSE(test::IsOpenInProcess(path_));
}

TEST_F(DatabaseSession, WithoutKeepConnectionTheLastDatasetDisconnects) {
  TZDBDatabase zelmarot;
  Place(zelmarot);
  zelmarot.SetKeepConnection(false);
  {
    RecordingDataset first(DefaultSession(), "Zelmarot");
    RecordingDataset second(DefaultSession(), "Zelmarot");
    EXPECT_EQ(zelmarot.UserCount(), 2);
    first.Close();
    EXPECT_TRUE(zelmarot.Connected());
  }
  EXPECT_FALSE(zelmarot.Connected());
  EXPECT_FALSE(test::IsOpenInProcess(path_));

  // Turning it off while connected and unused disconnects at once.
  zelmarot.SetKeepConnection(true);
  zelmarot.Open();
  zelmarot.SetKeepConnection(false);
  EXPECT_FALSE(zelmarot.Connected());
}

TEST_F(DatabaseSession, MissingFileFailsAndLeavesNothingOpen) {
  const std::string missing = folder_.File("Nowhere.zdb");
  TZDBDatabase zelmarot;
  Place(zelmarot);
  zelmarot.SetDatabaseFileName(missing);
  EXPECT_EQ(DatabaseErrorText([&] { RecordingDataset maximo(DefaultSession(), "Zelmarot"); }),
            "Database file '" + missing + "' does not exist");
  EXPECT_FALSE(zelmarot.Connected());
  EXPECT_EQ(zelmarot.UserCount(), 0);
  EXPECT_FALSE(test::IsOpenInProcess(missing));

  // A name that no component has: the name is taken for the file, and the temporary
  // component made for it goes again.
  EXPECT_EQ(DatabaseErrorText([&] { DefaultSession().OpenDatabase(missing); }),
            "Database file '" + missing + "' does not exist");
  EXPECT_EQ(DefaultSession().Databases(), std::vector<TZDBDatabase*>{&zelmarot});
}

TEST_F(DatabaseSession, FileHeldExclusivelyElsewhereFailsAndLeavesNothingOpen) {
  uint32_t error = 0;
  // What another program holding the file exclusively looks like.
  std::unique_ptr<os::IFile> holder =
      os::FileSystem::Default().Open(path_, os::AccessMode::ReadWrite, os::ShareMode::Exclusive, error);
  ASSERT_NE(holder, nullptr);
  TZDBDatabase zelmarot;
  Place(zelmarot);
  const auto raised = Raised([&] { RecordingDataset maximo(DefaultSession(), "Zelmarot"); });
  EXPECT_EQ(raised.code, 30364);
  EXPECT_EQ(raised.text.rfind("Cannot open file:'" + path_ + "' Error code: 32.", 0), 0u) << raised.text;
  EXPECT_FALSE(zelmarot.Connected());
  EXPECT_FALSE(test::IsOpenInProcess(path_));

  holder.reset();
  zelmarot.Open();
  EXPECT_TRUE(zelmarot.Connected());
  zelmarot.Close();
}

TEST_F(DatabaseSession, NameWithoutComponentOpensTheFileThroughATemporaryOne) {
  TZDBSession& session = DefaultSession();
  TZDBDatabase& temporary = session.OpenDatabase(path_);
  EXPECT_TRUE(temporary.IsTemporary());
  EXPECT_TRUE(temporary.SilentMode());
  EXPECT_TRUE(temporary.Connected());
  EXPECT_EQ(session.FindDatabase(path_), &temporary);
  // The session keeps connections: released, it stays until the session ends.
  session.CloseDatabase(temporary);
  EXPECT_TRUE(temporary.Connected());
  session.SetActive(false);
  EXPECT_TRUE(session.Databases().empty());
  EXPECT_FALSE(test::IsOpenInProcess(path_));

  session.SetKeepConnections(false);
  TZDBDatabase& passing = session.OpenDatabase(path_);
  EXPECT_FALSE(passing.KeepConnection());
  session.CloseDatabase(passing);
  EXPECT_TRUE(session.Databases().empty());
  session.SetKeepConnections(true);
}

TEST_F(DatabaseSession, DuplicateDatabaseNames) {
  TZDBSession other;
  other.SetSessionName("Other");
  struct Case {
    const char* what;
    TZDBSession* session;
    bool handleShared;
    const char* error;  // nullptr: accepted
  };
  const Case cases[] = {
      {"same session, other case", nullptr, false, "Duplicate database name 'ZELMAROT'"},
      {"another session", &other, false, nullptr},
      {"both share handles", nullptr, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TZDBDatabase first;
    first.SetHandleShared(c.handleShared);
    first.SetDatabaseName("Zelmarot");
    TZDBDatabase second(c.session);
    second.SetHandleShared(c.handleShared);
    if (c.error == nullptr) {
      second.SetDatabaseName("ZELMAROT");
      EXPECT_EQ(second.DatabaseName(), "ZELMAROT");
    } else {
      EXPECT_EQ(DatabaseErrorText([&] { second.SetDatabaseName("ZELMAROT"); }), c.error);
      EXPECT_EQ(second.DatabaseName(), "");
    }
  }

  // Moving into a session repeats the check there, and a refused move stays put.
  TZDBDatabase home(&other);
  home.SetDatabaseName("Zelmarot");
  TZDBDatabase mover;
  mover.SetDatabaseName("Zelmarot");
  EXPECT_EQ(DatabaseErrorText([&] { mover.SetSessionName("OTHER"); }), "Duplicate database name 'Zelmarot'");
  EXPECT_EQ(mover.Session(), &DefaultSession());
  EXPECT_EQ(mover.SessionName(), "Default");

  // An unused temporary component gives its name up to a placed one.
  TZDBDatabase& temporary = DefaultSession().OpenDatabase(path_);
  DefaultSession().CloseDatabase(temporary);
  TZDBDatabase placed;
  placed.SetDatabaseName(path_);
  EXPECT_EQ(DefaultSession().FindDatabase(path_), &placed);
  EXPECT_FALSE(test::IsOpenInProcess(path_));
}

TEST_F(DatabaseSession, MisuseRaisesThePlainTexts) {
  TZDBDatabase zelmarot;
  Place(zelmarot);
  TZDBDatabase unnamed;
  EXPECT_EQ(DatabaseErrorText([&] { unnamed.Open(); }), "Database name missing");

  struct Case {
    const char* what;
    bool connected;
    std::function<void()> call;
    const char* error;
  };
  const Case cases[] = {
      {"start transaction", false, [&] { zelmarot.StartTransaction(); },
       "Cannot perform this operation on a closed database"},
      {"commit", false, [&] { zelmarot.Commit(); }, "Cannot perform this operation on a closed database"},
      {"rollback", false, [&] { zelmarot.Rollback(); }, "Cannot perform this operation on a closed database"},
      {"rename", true, [&] { zelmarot.SetDatabaseName("Otro"); }, "Cannot perform this operation on an open database"},
      {"move", true, [&] { zelmarot.SetSessionName("Other"); }, "Cannot perform this operation on an open database"},
      {"create", true, [&] { zelmarot.CreateDatabase(); }, "Cannot perform this operation on an open database"},
      {"delete", true, [&] { zelmarot.DeleteDatabase(); }, "Cannot perform this operation on an open database"},
      {"repair", true, [&] { zelmarot.Repair(); }, "Cannot perform this operation on an open database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zelmarot.SetConnected(c.connected);
    EXPECT_EQ(DatabaseErrorText(c.call), c.error);
    EXPECT_EQ(zelmarot.Connected(), c.connected);
  }
  EXPECT_EQ(zelmarot.DatabaseName(), "Zelmarot");
  EXPECT_EQ(zelmarot.SessionName(), "Default");
  zelmarot.Close();

  // A session name that names no session.
  zelmarot.SetSessionName("Nowhere");
  EXPECT_EQ(zelmarot.Session(), nullptr);
  EXPECT_EQ(Raised([&] { zelmarot.Open(); }).text, ErrorText("Invalid session name 'Nowhere'", 20002));
  zelmarot.SetSessionName("Default");
  EXPECT_EQ(zelmarot.Session(), &DefaultSession());
}

TEST_F(DatabaseSession, TransactionsOfTheConnection) {
  TZDBDatabase zelmarot;
  Place(zelmarot);
  zelmarot.Open();
  EXPECT_EQ(Raised([&] { zelmarot.Commit(); }).text,
            ErrorText("Database is not within a transaction. Cannot perform operation", 20229));
  EXPECT_EQ(Raised([&] { zelmarot.Rollback(); }).code, 20229);

  zelmarot.StartTransaction();
  EXPECT_TRUE(zelmarot.InTransaction());
  EXPECT_EQ(DatabaseErrorText([&] { zelmarot.StartTransaction(); }), "Database is already within a transaction");
  zelmarot.Commit(false);
  EXPECT_FALSE(zelmarot.InTransaction());
  zelmarot.StartTransaction();
  zelmarot.Rollback();
  EXPECT_FALSE(zelmarot.InTransaction());

  // A transaction left open ends with the connection.
  zelmarot.StartTransaction();
  zelmarot.Close();
  EXPECT_FALSE(zelmarot.InTransaction());
}

TEST_F(DatabaseSession, SessionsShareOneOpenFile) {
  TZDBSession second;
  second.SetSessionName("Second");
  TZDBDatabase first;
  Place(first);
  TZDBDatabase other(&second);
  // Another spelling of the same file.
  Place(other, "Other");
  other.SetDatabaseFileName(folder_.File("sub/../Zelmarot.zdb"));
  std::filesystem::create_directory(folder_.File("sub"));
  EXPECT_EQ(other.SessionName(), "Second");

  RecordingDataset fromFirst(DefaultSession(), "Zelmarot");
  RecordingDataset fromSecond(second, "Other");
  ASSERT_NE(first.DatabaseData(), nullptr);
  EXPECT_EQ(first.DatabaseData(), other.DatabaseData());
  EXPECT_EQ(first.DatabaseData()->SessionCount(), 2u);
  // Multi-user: each connection holds its own slot.
  EXPECT_EQ(first.SessionID(), 0);
  EXPECT_EQ(other.SessionID(), 1);
  EXPECT_TRUE(second.Active());
  EXPECT_TRUE(DefaultSession().Active());

  first.Close();
  EXPECT_EQ(fromFirst.closedByDisconnect, 1);
  EXPECT_TRUE(test::IsOpenInProcess(path_));
  EXPECT_EQ(other.DatabaseData()->SessionCount(), 1u);
  other.Close();
  EXPECT_FALSE(test::IsOpenInProcess(path_));
}

TEST_F(DatabaseSession, SingleUserComponentsShareSessionZero) {
  TZDBDatabase first;
  first.SetDatabaseName("A");
  first.SetDatabaseFileName(path_);
  TZDBDatabase second;
  second.SetDatabaseName("B");
  second.SetDatabaseFileName(path_);
  first.Open();
  second.Open();
  EXPECT_EQ(first.DatabaseData(), second.DatabaseData());
  EXPECT_EQ(first.SessionID(), 0);
  EXPECT_EQ(second.SessionID(), 0);
  EXPECT_TRUE(first.DatabaseData()->SlotsClaimed());
  first.Close();
  EXPECT_TRUE(second.Connected());
  EXPECT_TRUE(test::IsOpenInProcess(path_));
  second.Close();
}

TEST_F(DatabaseSession, ChangingTheFileNameDisconnectsAndClosesTheDatasets) {
  TZDBDatabase zelmarot;
  Place(zelmarot);
  RecordingDataset maximo(DefaultSession(), "Zelmarot");
  RecordingDataset porcentajes(DefaultSession(), "Zelmarot");
  zelmarot.SetDatabaseFileName(path_);  // the same name: nothing happens
  EXPECT_TRUE(zelmarot.Connected());

  zelmarot.SetDatabaseFileName(folder_.File("Otro.zdb"));
  EXPECT_FALSE(zelmarot.Connected());
  EXPECT_EQ(zelmarot.UserCount(), 0);
  EXPECT_FALSE(maximo.IsOpen());
  EXPECT_FALSE(porcentajes.IsOpen());
  EXPECT_EQ(maximo.closedByDisconnect, 1);
  EXPECT_EQ(porcentajes.closedByDisconnect, 1);
  EXPECT_FALSE(test::IsOpenInProcess(path_));
}

TEST_F(DatabaseSession, SharedHandles) {
  TZDBDatabase owner;
  owner.SetHandleShared(true);
  Place(owner);
  TZDBDatabase sharer;
  sharer.SetHandleShared(true);
  Place(sharer);
  owner.Open();
  sharer.Open();
  EXPECT_EQ(sharer.Handle(), owner.Handle());
  EXPECT_EQ(owner.DatabaseData()->SessionCount(), 1u);
  // The handle goes with its own component, and so does every component sharing it.
  owner.Close();
  EXPECT_FALSE(sharer.Connected());
  EXPECT_FALSE(test::IsOpenInProcess(path_));
}

TEST_F(DatabaseSession, TablesOfTheFile) {
  test::ListTables(path_, {"Maximo", "Porcentajes"});
  TZDBDatabase zelmarot;
  Place(zelmarot);

  // Connected for the call only.
  std::vector<std::string> names;
  zelmarot.GetTableNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Maximo", "Porcentajes"}));
  EXPECT_FALSE(zelmarot.Connected());
  // Any failure gives no names.
  zelmarot.SetDatabaseFileName(folder_.File("Nowhere.zdb"));
  names.clear();
  zelmarot.GetTableNames(names);
  EXPECT_TRUE(names.empty());

  zelmarot.SetDatabaseFileName(path_);
  EXPECT_TRUE(zelmarot.TableExists("MAXIMO"));
  EXPECT_FALSE(zelmarot.TableExists("Minimo"));
  EXPECT_TRUE(zelmarot.Connected());
  zelmarot.Close();
}

TEST_F(DatabaseSession, CreateAndDeleteTheFile) {
  const std::string fresh = folder_.File("Nuevo.zdb");
  TZDBDatabase nuevo;
  nuevo.SetDatabaseName("Nuevo");
  nuevo.SetDatabaseFileName(fresh);
  nuevo.SetMaxConnections(7);
  nuevo.CreateDatabase();
  EXPECT_EQ(std::filesystem::file_size(fresh), 24956u);
  nuevo.Open();
  EXPECT_EQ(nuevo.MaxConnections(), 7);
  std::vector<std::string> names;
  nuevo.GetTableNames(names);
  EXPECT_TRUE(names.empty());

  // Not over a file that is open in the process, even through another component.
  TZDBDatabase again;
  again.SetDatabaseName("Again");
  again.SetDatabaseFileName(fresh);
  const auto error = Raised([&] { again.CreateDatabase(); });
  EXPECT_EQ(error.text, ErrorText("Cannot create database. Database is already open", 20092));
  EXPECT_EQ(DatabaseErrorText([&] { again.DeleteDatabase(); }), "Cannot delete database file '" + fresh + "'");
  EXPECT_TRUE(std::filesystem::exists(fresh));

  nuevo.Close();
  again.DeleteDatabase();
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(DatabaseErrorText([&] { again.DeleteDatabase(); }), "Database file '" + fresh + "' does not exist");
}

TEST_F(DatabaseSession, SessionNamesAndActivation) {
  TZDBSession session;
  EXPECT_EQ(DatabaseErrorText([&] { session.SetActive(true); }), "Session name missing");
  EXPECT_EQ(DatabaseErrorText([&] { session.SetSessionName("default"); }), "Duplicate session name 'default'");
  session.SetSessionName("Propia");
  int startups = 0;
  session.OnStartup = [&](TZDBSession&) { ++startups; };
  session.SetActive(true);
  EXPECT_EQ(startups, 1);
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_EQ(DatabaseErrorText([&] { session.SetSessionName("Otra"); }),
            "Cannot perform this operation on an active session");
  EXPECT_EQ(Sessions().FindSession("PROPIA"), &session);

  // Deactivating disconnects the placed databases and frees the temporary ones.
  TZDBDatabase placed(&session);
  placed.SetDatabaseName("Zelmarot");
  placed.SetDatabaseFileName(path_);
  placed.Open();
  session.OpenDatabase(path_);
  EXPECT_EQ(session.Databases().size(), 2u);
  session.SetActive(false);
  EXPECT_FALSE(placed.Connected());
  EXPECT_EQ(session.Databases(), std::vector<TZDBDatabase*>{&placed});
}

TEST_F(DatabaseSession, AGoneSessionLeavesItsDatabasesWithoutOne) {
  TZDBDatabase placed;
  {
    TZDBSession session;
    session.SetSessionName("Passing");
    placed.SetSessionName("Passing");
    EXPECT_EQ(placed.Session(), &session);
    Place(placed);
    placed.Open();
  }
  EXPECT_FALSE(placed.Connected());
  EXPECT_EQ(placed.Session(), nullptr);
  EXPECT_EQ(placed.SessionName(), "");
  // With no session name it joins the default session at its next connect.
  placed.Open();
  EXPECT_EQ(placed.Session(), &DefaultSession());
  placed.Close();
}

TEST_F(DatabaseSession, AutomaticSessionNames) {
  int formA = 0;
  int formB = 0;
  TZDBSession first(&formA);
  first.SetName("Session");
  TZDBDatabase database(nullptr, &formA);
  first.SetAutoSessionName(true);
  EXPECT_EQ(first.SessionName(), "Session_1");
  // The owner's database follows the session.
  EXPECT_EQ(database.SessionName(), "Session_1");
  EXPECT_EQ(database.Session(), &first);
  EXPECT_EQ(DatabaseErrorText([&] { first.SetSessionName("Other"); }),
            "Cannot modify SessionName while AutoSessionName is enabled");
  EXPECT_EQ(DatabaseErrorText([&] { TZDBSession more(&formA); }),
            "Cannot add a session to the form or data-module while session 'Session_1' has AutoSessionName enabled");

  TZDBSession second(&formB);
  second.SetName("Session");
  TZDBSession third(&formB);
  EXPECT_EQ(DatabaseErrorText([&] { second.SetAutoSessionName(true); }),
            "Cannot enable AutoSessionName property with more than one session on a form or data-module");

  // Numbers given back are taken again, lowest first.
  int formC = 0;
  TZDBSession fourth(&formC);
  fourth.SetName("Session");
  fourth.SetAutoSessionName(true);
  EXPECT_EQ(fourth.SessionName(), "Session_2");
  first.SetAutoSessionName(false);
  first.SetSessionName("Manual");
  int formD = 0;
  TZDBSession fifth(&formD);
  fifth.SetName("Data");
  fifth.SetAutoSessionName(true);
  EXPECT_EQ(fifth.SessionName(), "Data_1");
}

}  // namespace
}  // namespace zdb
