#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBMemoryStream.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableMetaData.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;

template <typename Def>
std::unique_ptr<Def> LoadedFrom(const Bytes& bytes) {
  TZDBMemoryStream stream(bytes);
  auto definition = std::make_unique<Def>();
  definition->LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  return definition;
}

const Bytes NoAutoincLimit = BytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
const Bytes IncrementOne = BytesOf({1, 0, 0, 0, 0, 0, 0, 0});

TEST(FieldDefStream, UnnamedIntegerFieldIsFortySixBytes) {
  TZDBFieldDef field("", L::Integer);
  field.SetObjectID(7);
  const Bytes expected = Concat({BytesOf({0x00, 7, 0, 0, 0, 0x07, 0x07, 0, 0, 0, 0}), IncrementOne, Repeat(0, 16),
                                 NoAutoincLimit, BytesOf({0x00, 0x00, 0xFF})});
  EXPECT_EQ(Saved(field), expected);
  EXPECT_EQ(expected.size(), 46u);

  field.SetName("any");
  const Bytes named = Saved(field);
  EXPECT_EQ(named.size(), 49u);
  EXPECT_EQ(Bytes(named.begin(), named.begin() + 4), BytesOf({3, 'a', 'n', 'y'}));
}

TEST(FieldDefStream, BlobFieldsCarryTheirStreamSettings) {
  TZDBFieldDef number("x", L::Float);
  TZDBFieldDef blob("x", L::Blob);
  blob.SetBlobCompressionAlgorithm(1);
  blob.SetBlobCompressionMode(6);
  const Bytes stored = Saved(blob);
  EXPECT_EQ(stored.size(), Saved(number).size() + 6);
  EXPECT_EQ(Bytes(stored.begin() + 12, stored.begin() + 18), BytesOf({1, 6, 0x00, 0x90, 0x01, 0x00}));  // 102400
}

TEST(FieldDefStream, LoadingRecomputesWidthsAndRefusesUnknownStorage) {
  TZDBFieldDef field("name", L::WideString, 10);
  const auto loaded = LoadedFrom<TZDBFieldDef>(Saved(field));
  EXPECT_EQ(loaded->MemoryDataSize(), 22);
  EXPECT_EQ(loaded->StoredDataSize(), 22);

  Bytes damaged = Saved(field);
  damaged[9] = 30;  // the storage type byte
  EXPECT_EQ(ErrorOf([&] { LoadedFrom<TZDBFieldDef>(damaged); }).code, 30050);
}

// Every definition kind, filled with unusual values, survives its stored form and a copy.
TEST(DefinitionStream, EveryKindRoundTripsByteForByte) {
  struct Case {
    const char* kind;
    std::function<std::unique_ptr<TZDBMetaObjectDef>()> make;
    std::function<std::unique_ptr<TZDBMetaObjectDef>()> makeEmpty;
  };
  const Case cases[] = {
      {"autoinc field",
       [] {
         auto f = std::make_unique<TZDBFieldDef>("id", L::AutoIncLargeInt);
         f->SetObjectID(0x01020304);
         f->SetAutoincIncrement(-3);
         f->SetAutoincInitialValue(1000);
         f->SetAutoincMinValue(-5);
         f->SetAutoincMaxValue(0);
         f->SetAutoincCycled(true);
         return f;
       },
       [] { return std::make_unique<TZDBFieldDef>(); }},
      {"text field with default",
       [] {
         auto f = std::make_unique<TZDBFieldDef>("Nombre", L::String, 40);
         f->SetDefaultValue(StringValue("CURRENT_DATE"));
         return f;
       },
       [] { return std::make_unique<TZDBFieldDef>(); }},
      {"memo field",
       [] {
         auto f = std::make_unique<TZDBFieldDef>("notes", L::WideMemo);
         f->SetBlobCompressionAlgorithm(2);
         f->SetBlobCompressionMode(9);
         f->SetBlobBlockSize(4096);
         f->SetDefaultValue(FloatValue(1.5));
         return f;
       },
       [] { return std::make_unique<TZDBFieldDef>(); }},
      {"index",
       [] {
         auto i = std::make_unique<TZDBIndexDef>();
         i->SetName("ByYearDesc");
         i->SetObjectID(9);
         i->SetUnique(true);
         i->SetRootPageNo(77);
         i->SetColumns({{"any", true, false, 20}, {"PenMax", false, true, 255}});
         return i;
       },
       [] { return std::make_unique<TZDBIndexDef>(); }},
      {"not null",
       [] {
         auto c = std::make_unique<TZDBConstraintDefNotNull>();
         c->SetName("$C_NotNull$Maximo$PenMax");
         c->SetObjectID(11);
         c->SetTableName("Maximo");
         c->SetTargetName("PenMax");
         c->SetTargetObjectID(3);
         c->SetReservedName("kept");
         c->SetReservedObjectID(-8);
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefNotNull>(); }},
      {"check",
       [] {
         auto c = std::make_unique<TZDBConstraintDefCheck>();
         c->SetName("range");
         c->SetTableName("Maximo");
         c->SetTargetName("any");
         c->SetMinValue(IntegerValue(1900));
         c->SetTableObjectID(5);
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefCheck>(); }},
      {"primary key",
       [] {
         auto c = std::make_unique<TZDBConstraintDefPrimary>();
         c->SetName("C_PK$any");
         c->SetTableName("Maximo");
         c->SetTargetName("ANY");
         c->SetTargetObjectID(4);
         c->SetColumns({{"any", 2}, {"PenMax", 3}});
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefPrimary>(); }},
      {"unique with a 255-character name",
       [] {
         auto c = std::make_unique<TZDBConstraintDefUnique>();
         c->SetName("C_Unique$x");
         c->SetTargetName(std::string(255, 'i'));
         c->SetColumns({{std::string(255, 'f'), 1}});
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefUnique>(); }},
      {"not null with a 255-character target",
       [] {
         auto c = std::make_unique<TZDBConstraintDefNotNull>();
         c->SetTableName(std::string(255, 't'));
         c->SetTargetName(std::string(255, 'x'));
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefNotNull>(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const auto original = c.make();
    const Bytes stored = Saved(*original);
    TZDBMemoryStream stream(stored);
    const auto loaded = c.makeEmpty();
    loaded->LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), stream.Size());
    EXPECT_EQ(Saved(*loaded), stored);
    EXPECT_EQ(loaded->Name(), original->Name());
    const auto copy = c.makeEmpty();
    copy->Assign(*original);
    EXPECT_EQ(Saved(*copy), stored);
  }
}

TEST(DefinitionStream, CopiesAndLoadsKeepWhatMatters) {
  auto field = std::make_unique<TZDBFieldDef>("t", L::TimeStamp);
  field->SetDefaultValue(StringValue("NOW"));
  TZDBFieldDef copy;
  copy.Assign(*field);
  EXPECT_NE(copy.DefaultExpression(), nullptr);  // rebuilt, not shared
  field.reset();
  EXPECT_EQ(copy.DefaultExpression()->ExpressionKind(), TZDBDefaultExpression::Kind::CurrentTimestamp);

  TZDBIndexDef temporary;
  temporary.SetTemporary(true);
  temporary.SetOwnerSession(3);
  temporary.SetChangeCounter(12);
  TZDBIndexDef indexCopy;
  indexCopy.Assign(temporary);
  EXPECT_TRUE(indexCopy.Temporary());
  EXPECT_EQ(indexCopy.OwnerSession(), 3);
  EXPECT_EQ(indexCopy.ChangeCounter(), 12);
  EXPECT_FALSE(LoadedFrom<TZDBIndexDef>(Saved(temporary))->Temporary());
}

TEST(DefinitionStream, IndexFlagsAreWrittenAsFF) {
  TZDBIndexDef index;
  index.SetName("K");
  index.SetObjectID(1);
  index.SetPrimary(true);
  index.SetColumns({{"a", true, true, 20}});
  EXPECT_EQ(Saved(index), BytesOf({1, 'K', 1, 0, 0, 0, 0, 0, 0xFF, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 'a', 0xFF,
                                   0xFF, 20, 0, 0, 0}));
}

TEST(DefinitionStream, ConstraintNamesUseTheirTwoFramings) {
  TZDBConstraintDefNotNull notNull;
  notNull.SetTableName("T");
  notNull.SetTargetName("ab");
  // prefix, three IDs, then (n + 1, n, characters) for each name.
  EXPECT_EQ(Saved(notNull), Concat({BytesOf({0, 0xFF, 0xFF, 0xFF, 0xFF}), Repeat(0, 8), Repeat(0xFF, 4),
                                     BytesOf({1, 0, 2, 1, 'T', 3, 2, 'a', 'b'})}));
  TZDBConstraintDefUnique unique;
  unique.SetTargetName("ab");
  unique.SetColumns({{"c", 6}});
  EXPECT_EQ(Saved(unique), Concat({BytesOf({0, 0xFF, 0xFF, 0xFF, 0xFF}), Repeat(0, 8), Repeat(0xFF, 4),
                                    BytesOf({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 3, 0, 0, 0, 2, 'a', 'b'}),
                                    BytesOf({1, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0, 1, 'c'})}));
}

// A definition as the pieces of its stored form: size, code of a failed write, code of
// a failed read.
struct Piece {
  int64_t size;
  int32_t writeCode;
  int32_t readCode;
};

std::vector<Piece> Prefix(size_t nameLength) {
  return {{1, 10164, 10166}, {static_cast<int64_t>(nameLength), 10165, 10167}, {4, 10168, 10169}};
}
std::vector<Piece> NullVariant() { return {{1, 10179, 10183}, {1, 10180, 10184}}; }
std::vector<Piece> IntegerVariant() {
  return {{1, 10179, 10183}, {1, 10180, 10184}, {4, 10181, 10185}, {4, 10182, 10186}};
}
std::vector<Piece> Join(std::initializer_list<std::vector<Piece>> parts) {
  std::vector<Piece> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(DefinitionStream, EveryPieceFailsWithItsOwnCode) {
  struct Case {
    const char* kind;
    std::function<std::unique_ptr<TZDBMetaObjectDef>()> make;
    std::function<std::unique_ptr<TZDBMetaObjectDef>()> makeEmpty;
    std::vector<Piece> pieces;
  };
  const std::vector<Piece> fieldHead = {{1, 10170, 10187}, {1, 10171, 10188}, {4, 10172, 10189}};
  const std::vector<Piece> fieldTail = {
      {8, 30412, 30407}, {8, 30413, 30408}, {8, 30414, 30409}, {8, 30415, 30410}, {1, 30416, 30411}};
  const Case cases[] = {
      {"field",
       [] {
         auto f = std::make_unique<TZDBFieldDef>("any", L::Integer);
         f->SetDefaultValue(IntegerValue(1));
         return f;
       },
       [] { return std::make_unique<TZDBFieldDef>(); }, Join({Prefix(3), fieldHead, fieldTail, IntegerVariant()})},
      {"blob field", [] { return std::make_unique<TZDBFieldDef>("b", L::Blob); },
       [] { return std::make_unique<TZDBFieldDef>(); },
       Join({Prefix(1), fieldHead, {{1, 10175, 10192}, {1, 10176, 10193}, {4, 10177, 10194}}, fieldTail,
             NullVariant()})},
      {"index",
       [] {
         auto i = std::make_unique<TZDBIndexDef>();
         i->SetName("ANY");
         i->SetColumns({{"any", false, false, 20}});
         return i;
       },
       [] { return std::make_unique<TZDBIndexDef>(); },
       Join({Prefix(3),
             {{1, 10344, 10349}, {1, 10345, 10350}, {1, 10346, 10351}, {4, 10347, 10352}, {4, 10348, 10353}},
             {{1, 10354, 10358}, {3, 10355, 10359}, {1, 10356, 10360}, {1, 10357, 10361}, {4, 20169, 20168}}})},
      {"not null",
       [] {
         auto c = std::make_unique<TZDBConstraintDefNotNull>();
         c->SetReservedName("r");
         c->SetTableName("T");
         c->SetTargetName("F");
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefNotNull>(); },
       Join({Prefix(0),
             {{4, 10240, 10249}, {4, 10241, 10250}, {4, 10242, 10251}},
             {{1, 10243, 10252}, {2, 10244, 10253}, {1, 10245, 10254}, {2, 10246, 10255}, {1, 10247, 10256},
              {2, 10248, 10257}}})},
      {"check",
       [] {
         auto c = std::make_unique<TZDBConstraintDefCheck>();
         c->SetReservedName("r");
         c->SetTableName("T");
         c->SetTargetName("F");
         c->SetMaxValue(IntegerValue(9));
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefCheck>(); },
       Join({Prefix(0),
             {{4, 10227, 10230}, {4, 10228, 10231}, {4, 10229, 10232}},
             {{1, 10221, 10233}, {2, 10222, 10234}, {1, 10223, 10235}, {2, 10224, 10236}, {1, 10225, 10237},
              {2, 10226, 10238}},
             NullVariant(), IntegerVariant()})},
      {"primary key",
       [] {
         auto c = std::make_unique<TZDBConstraintDefPrimary>();
         c->SetReservedName("r");
         c->SetTableName("T");
         c->SetTargetName("I");
         c->SetColumns({{"F", 1}});
         return c;
       },
       [] { return std::make_unique<TZDBConstraintDefPrimary>(); },
       Join({Prefix(0),
             {{4, 30313, 30303}, {4, 30314, 30304}, {4, 30318, 30305}},
             {{4, 30315, 30306}, {2, 30316, 30307}, {4, 30317, 30308}, {2, 30318, 30309}, {4, 30323, 30310},
              {2, 30324, 30311}},
             {{4, 30319, 30312}, {4, 30320, 30317}, {4, 30321, 30321}, {2, 30322, 30322}}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const Bytes stored = Saved(*c.make());
    int64_t start = 0;
    for (const Piece& piece : c.pieces) {
      if (piece.size == 0) continue;
      for (const int64_t cut : {start, start + piece.size - 1}) {
        SCOPED_TRACE(cut);
        LimitedStream limited(cut);
        EXPECT_EQ(ErrorOf([&] { c.make()->SaveToStream(limited); }).code, piece.writeCode);
        TZDBMemoryStream truncated(Bytes(stored.begin(), stored.begin() + cut));
        const RaisedError error = ErrorOf([&] { c.makeEmpty()->LoadFromStream(truncated); });
        EXPECT_EQ(error.code, piece.readCode);
        EXPECT_EQ(error.message.rfind("Cannot read from stream. Position = ", 0), 0u) << error.message;
      }
      start += piece.size;
    }
    EXPECT_EQ(start, static_cast<int64_t>(stored.size()));
  }
}

TEST(DefinitionStream, DamagedNameSizesFailBeforeAnythingIsAllocated) {
  TZDBConstraintDefUnique unique;
  Bytes stored = Saved(unique);
  stored[17] = 0xFF;  // the reserved name's 4-byte prefix becomes huge
  stored[18] = 0xFF;
  EXPECT_EQ(ErrorOf([&] { LoadedFrom<TZDBConstraintDefUnique>(stored); }).code, 30307);
}

TEST(ListStream, IndexListsStoreOnlyTheirNonTemporaryIndexes) {
  TZDBIndexDefs indexes;
  auto stored = std::make_unique<TZDBIndexDef>();
  stored->SetName("ANY");
  auto temporary = std::make_unique<TZDBIndexDef>();
  temporary->SetName("cursor order");
  temporary->SetTemporary(true);
  indexes.Add(std::move(temporary));
  indexes.Add(std::move(stored));
  const Bytes bytes = Saved(indexes);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), BytesOf({1, 0, 0, 0}));
  TZDBIndexDefs loaded;
  TZDBMemoryStream stream(bytes);
  loaded.LoadFromStream(stream);
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.Items(0).Name(), "ANY");
}

TEST(ListStream, ConstraintListsRefuseTypesTheEngineDoesNotImplement) {
  TZDBConstraintDefs constraints;
  constraints.AddNotNull().SetTargetName("PenMax");
  Bytes bytes = Saved(constraints);
  EXPECT_EQ(bytes[4], 3);  // the type byte in front of the definition
  for (const int type : {1, 5, 255}) {
    bytes[4] = static_cast<uint8_t>(type);
    TZDBMemoryStream stream(bytes);
    const RaisedError error = ErrorOf([&] { constraints.LoadFromStream(stream); });
    EXPECT_EQ(error.code, 30316);
    EXPECT_EQ(error.message, "Unknown Constraint Type: '" + std::to_string(type) + "'");
  }
  EXPECT_EQ(ErrorOf([&] { TZDBMemoryStream empty; constraints.LoadFromStream(empty); }).code, 10159);
  TZDBConstraintDefs one;
  one.AddCheck();
  EXPECT_EQ(ErrorOf([&] { LimitedStream full(4); one.SaveToStream(full); }).code, 10219);
  EXPECT_EQ(ErrorOf([&] { LimitedStream full(3); one.SaveToStream(full); }).code, 10158);
}

TEST(TableMetaData, WrittenReadAndWrittenAgainGivesTheSameBytes) {
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  fields.Add(Field("foto", L::Graphic));
  int32_t nextObjectID = 100;
  fields.AssignObjectIDs([&] { return nextObjectID++; });
  TZDBBaseFieldManager fieldManager;
  fieldManager.SetFieldDefs(fields);

  TZDBIndexDefs indexes;
  auto index = std::make_unique<TZDBIndexDef>();
  index->SetName("ANY");
  index->SetPrimary(true);
  index->SetUnique(true);
  index->SetRootPageNo(12);
  index->SetColumns({"any"}, {"ASC"}, {"CASE"});
  indexes.Add(std::move(index));
  indexes.AssignObjectIDs([&] { return nextObjectID++; });

  TZDBConstraintDefs constraints;
  constraints.AddNotNull().SetTargetName("PenMax");
  TZDBConstraintDefCheck& check = constraints.AddCheck();
  check.SetTargetName("any");
  check.SetMinValue(IntegerValue(1967));
  check.SetMaxValue(IntegerValue(2100));
  TZDBConstraintDefPrimary& primary = constraints.AddPrimary();
  primary.SetName("C_PK$any");
  primary.SetTargetName("ANY");
  primary.SetColumns({{"any", UnassignedObjectID}});
  constraints.AssignObjectIDs([&] { return nextObjectID++; });
  constraints.SetTableName("Maximo");
  constraints.GenerateNames();
  constraints.Resolve(fieldManager.FieldDefs(), indexes);

  TZDBMemoryStream first;
  SaveTableMetaData(first, fieldManager, indexes, constraints, {3, 9});
  const Bytes written = ContentOf(first);

  TZDBBaseFieldManager loadedFields;
  TZDBIndexDefs loadedIndexes;
  TZDBConstraintDefs loadedConstraints;
  first.SetPosition(0);
  const TZDBTableRootPages roots = LoadTableMetaData(first, loadedFields, loadedIndexes, loadedConstraints);
  EXPECT_EQ(first.Position(), first.Size());
  EXPECT_EQ(roots, (TZDBTableRootPages{3, 9}));
  EXPECT_EQ(loadedFields.RecordBufferSize(), 31);  // offsets were recomputed
  EXPECT_EQ(loadedFields.StoredRecordSize(), 27);
  EXPECT_EQ(loadedFields.FieldDefs().FindByName("PENMAX")->ObjectID(), 101);
  EXPECT_EQ(loadedConstraints.Items(0).Name(), "$C_NotNull$Maximo$PenMax");
  EXPECT_EQ(loadedConstraints.Items(1).TargetObjectID(), 100);
  EXPECT_EQ(loadedConstraints.FindByName("c_pk$ANY")->TargetObjectID(), 104);

  TZDBMemoryStream second;
  SaveTableMetaData(second, loadedFields, loadedIndexes, loadedConstraints, roots);
  EXPECT_EQ(ContentOf(second), written);

  // A stream that ends before the root pages fails with the list-count code.
  TZDBMemoryStream cut(Bytes(written.begin(), written.end() - 2));
  EXPECT_EQ(ErrorOf([&] { LoadTableMetaData(cut, loadedFields, loadedIndexes, loadedConstraints); }).code, 10159);
}

}  // namespace
}  // namespace zdb
