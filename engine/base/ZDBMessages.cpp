#include "engine/base/ZDBMessages.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <stdexcept>

namespace zdb {
namespace {

// A message raised with the listed codes.
constexpr MessageEntry Codes(const char* text, std::initializer_list<int32_t> codes) {
  if (codes.size() == 0 || codes.size() > MessageEntry::MaxListedCodes)
    throw std::logic_error("a message needs 1 to MaxListedCodes codes");
  MessageEntry entry{text, {}, 0};
  for (int32_t code : codes) entry.Listed[entry.ListedCount++] = code;
  return entry;
}

// The texts are the engine's own, spelling included: reports and callers match on them.
constexpr MessageEntry Messages[] = {
    // Database file, pages, streams, memory and locking.
    Codes("Nil pointer occured", {10001, 10003, 10006, 10384, 10385, 10483, 10489, 10490, 10491, 10492, 10493, 10494, 20135, 20136, 20137, 20138, 20139, 30457, 30458}),
    Codes("Cannot set stream position to %d. Position = %d, Size = %d", {10079, 10103, 10148}),
    Codes("Stream size = %d too small. Should be at least = %d", {10081, 10082}),
    Codes("Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d", {10085}),
    Codes("Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d", {10086, 10186}),
    Codes("Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d", {10087}),
    Codes("Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d", {10088}),
    Codes("Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d", {10089}),
    Codes("Cannot read from stream. ReadSize = %d", {10090}),
    Codes("Invalid stream size = %d. Should be = %d", {10092, 10093}),
    Codes("Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d", {10097, 10100, 10101}),
    Codes("Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d", {10098}),
    Codes("Cannot create file. FileName = %s", {10104}),
    Codes("Cannot open file. FileName = %s, Mode = %d", {10105}),
    Codes("Error writing to stream", {10095}),
    Codes("Stream block size = 0 is not allowed", {10418, 10419, 20149}),
    Codes("Error - database file is not opened.", {10459, 10460, 30399, 30436, 30437, 30441, 30443}),
    Codes("Error - database file %s is in use.", {10461, 10462}),
    Codes("Invalid file format. Found signature: '%s', expected: '%s'", {10470}),
    Codes("Invalid PageNo = %d", {10471}),
    Codes("Error - invalid page offset = %d, page size = %d", {10476, 10477}),
    Codes("Invalid page buffer. Buffer is Nil", {20038}),
    Codes("Invalid page modification", {20039}),
    Codes("Pointer is nil", {10260, 20044, 20076, 20077, 20129, 20151, 20161, 20221}),
    Codes("Invalid page number", {20064, 20104, 20105, 20110, 20111, 20114, 20119, 20120, 20121, 20122, 20123, 20124, 20125, 20126, 20127, 20293, 20301}),
    Codes("Invalid page", {20085}),
    Codes("Cannot write used page", {20086}),
    Codes("Invalid index page", {20087}),
    Codes("Cannot remove used page", {20088}),
    Codes("Page is used by other session", {20090}),
    Codes("Cannot unlock sessions file", {20093, 20096, 20240, 20241}),
    Codes("Cannot connect session. Maximum connections quantity exceeded or database is open in single-user mode", {20094}),
    Codes("Cannot disconnect session", {20095}),
    Codes("Cannot free non-commited pages", {20097}),
    Codes("Some session pages not released", {20152}),
    Codes("Invalid page type. Possible data corruption. Expecting type %d, but found %d", {20153}),
    Codes("Invalid PageType found: %d but expecting: %d", {20155}),
    Codes("Cannot perform this operation (%s) on closed internal file", {20156, 30389}),
    Codes("Cannot create Internal file. File already exists. StartPageNo=%d", {20157, 30383}),
    Codes("Cannot write after end of file. FileSize=%d. Position=%d, Count=%d", {20158}),
    Codes("Seek position bigger then file size. FileSize=%d. Position=%d", {20159}),
    Codes("TSortedPageList.Delete - no elements in array!", {20165}),
    Codes("TSortedPageList.Delete - element not found, key = %d, itemCount = %d", {20166}),
    Codes("Page not found", {20167}),
    Codes("Invalid Session ID", {20186}),
    Codes("Table file compression error", {20187}),
    Codes("Table file decompression error. Possible table corruption", {20189}),
    Codes("Cannot write changes. Database file was modified by external application", {20196}),
    Codes("Cannot set table lock. Try to repair database or to increase number of allowed connections", {20200}),
    Codes("Some table locks still exist", {20201, 20234}),
    Codes("Cannot remove table lock. Lock not found", {20202}),
    Codes("Cannot set table lock", {20203}),
    Codes("Cannot unlock table", {20204}),
    Codes("Cannot lock record", {20205}),
    Codes("Cannot unlock record", {20206}),
    Codes("Database tables are locked", {20210}),
    Codes("Cannot unlock database tables", {20211}),
    Codes("Database is locked", {20213, 20230, 20231, 20232, 20236}),
    Codes("Cannot commit changes. Locks of modified tables failed", {20233}),
    Codes("Cannot open database in multi-user and signle-user mode at the same time", {20235}),
    Codes("Invalid database format", {20237}),
    Codes("Error reading database file page. Page No: %d, type %d", {20299}),
    Codes("Error getting %d-th table file page. Probably database is corrupted and needs repair.", {20300}),
    Codes("Invalid pointer", {30001, 30002, 30005}),
    Codes("Memory limit exceeded (Limit = %d bytes)", {30004}),
    Codes("GetMem error: %s", {30015}),
    Codes("Memory overrun detected", {30137}),
    Codes("Cannot allocate 0 bytes", {30286}),
    Codes("Unknown GetMem method type: %d", {30340}),
    Codes("Cannot create file: '%s' Error code: %d. ErrorMessage: %s", {30361}),
    Codes("Cannot open file:'%s' Error code: %d. ErrorMessage: %s", {30364}),
    Codes("Cannot close file:'%s' Error code: %d. ErrorMessage: %s", {30365}),
    Codes("Unknown Access mode: '%d'", {30366}),
    Codes("Unknown Share mode: '%d'", {30367}),
    Codes("Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s", {30370}),
    Codes("Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s", {30371}),
    Codes("Cannot Get File Position. FileName='%s' ErrorCode:%d. ErrorMessage: %s", {30373}),
    Codes("Cannot create file with blank FileName", {30374}),
    Codes("Cannot perform this operation (%s) on a closed file", {30376}),
    Codes("Cannot perform this operation (%s) on a opened file", {30377}),
    Codes("Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s", {30379}),
    Codes("Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d", {30372}),
    Codes("Cannot Read from file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s", {10464, 10474, 30400, 30439, 30442, 30463}),
    Codes("Cannot Write to file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s", {10462, 10469, 10475, 20198, 30404, 30406, 30438, 30444}),
    Codes("Unknown Page Type: (%d)", {30382}),
    Codes("Cannot Read internal file. FileSize=%d. ReadSize=%d", {30387}),
    Codes("Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d", {30388}),
    Codes("Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d.", {30392}),
    Codes("Table list file already opened.", {30393}),
    Codes("Table name '%s' is too long. The maximum length is %d", {30394}),
    Codes("Cannot create table. Table '%s' already exists", {30395}),
    Codes("Table '%s' not exists.", {30396, 30397, 30405}),
    Codes("Cannot get NextObjectID. File area is Locked.", {30401}),
    Codes("Page: %d already used", {30425}),
    Codes("Page: %d already free", {30427}),
    Codes("Page: %d cannot be addressed. TotalPageCount=%d", {30430, 30431}),
    Codes("Cannot delete PFS or EAM page. PageNo=%d", {30434}),
    Codes("Cannot open database - incorrect password", {30445}),
    Codes("Decrypt page error. Check CRC failed. PageNo: %d", {30446}),
    Codes("Database file '%s' needs recovery of an interrupted commit. Open it once with write access", {30459}),
    Codes("Cannot write journal file: '%s'. ErrorCode:%d. ErrorMessage: %s", {30460}),
    Codes("Cannot open journal file: '%s' Error code: %d. ErrorMessage: %s", {30461}),
    Codes("Cannot read journal file: '%s'. ErrorCode:%d. ErrorMessage: %s", {30462}),
    // The engine's own checks of the settings a file is created or opened with.
    Codes("Invalid cipher code: %d. It must be from %d to %d", {30454}),
    Codes("Invalid page size: %d. It must be from %d to %d", {30455}),
    Codes("Invalid number of pages per extent: %d. It must be from %d to %d", {30456}),

    // Tables, rows, definitions and large values.
    Codes("Invalid field number - FieldNo = %d, FieldCount = %d", {10000, 10004, 10005, 10006, 10501, 10502, 20193}),
    Codes("Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d", {10002}),
    Codes("Error creating table - no fields were specified", {10131, 20128, 20142}),
    Codes("Cannot rename table '%s'. Table is open by another dataset", {10150}),
    Codes("Error - different list lengths. L1 = %d, L2 = %d", {10276, 10277, 10278, 10279, 10321}),
    Codes("Cannot find index by ID = %d", {10324}),
    Codes("Invalid condition number = %d, count = %d", {10382}),
    Codes("Cannot find record position in index %d, RecordID = %d %d", {10386, 10432}),
    Codes("Invalid scan condition - indexID = %d, count = %d", {10388}),
    Codes("Invalid bit no = %d, number of bits = %d", {10394, 10395, 10428, 10429}),
    Codes("Invalid item number - ItemNo = %d, ItemCount = %d", {10413}),
    Codes("BLOB block size should be > 0 for field %s", {10421}),
    Codes("Duplicate field name %s", {10424}),
    Codes("Cannot repair page index for large table. Table name: \"%s\"", {10512}),
    Codes("Cannot delete table '%s'. Table is open by another dataset", {20017}),
    Codes("Invalid number of records on page", {20140}),
    Codes("Cannot add record to page. Page is full", {20141}),
    Codes("Record not found. PageNo=%d, PageRecordCount=%d", {20143}),
    Codes("Record not found", {20144, 20146, 20148}),
    Codes("Blob cache not released", {20150}),
    Codes("Autoinc max value exceeded for field '%s'", {20160}),
    Codes("Cannot read BLOB field value", {20162, 20291}),
    Codes("Invalid table header data", {20164}),
    Codes("Cannot find blob field", {20171}),
    Codes("Invalid blob field ID", {20172}),
    Codes("Cannot create table. Record is too large to fit in current database page. Please increase page size of database file or decrease record size", {20174}),
    Codes("Cannot access table '%s' in exclusive mode. Table is open by another user", {20208, 20228}),
    Codes("Cannot open table '%s'. Table is locked", {20209}),
    Codes("Table is locked", {20214, 20215, 20216, 20217, 20218, 20219, 20220}),
    Codes("Cannot access table '%s' in exclusive mode. Table is open by another cursors", {20242}),
    Codes("Invalid blob field size", {20248}),
    Codes("No active index is set for Key search. Set Table.IndexName to the index on search fields.", {20258}),
    Codes("Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, SizeInBlobPageIndex=%d", {20290}),
    Codes("Unsupported data type '%s'", {30007}),
    Codes("No SequenceLastValue in session for sequence '%s'. Call GetNextVal first", {30012}),
    Codes("Field #%d not found", {30024, 30028, 30402, 30403}),
    Codes("Constraint '%s' violated. Value in field '%s' cannot be null", {30026, 30330}),
    Codes("Field '%s' not found", {30027, 30331, 30332, 30343, 30345, 30349}),
    Codes("Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'", {30029}),
    Codes("Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'", {30030}),
    Codes("Not implemented yet", {30035, 30036, 30037, 30058}),
    Codes("Unknown Constraint Type: '%d'", {30316}),
    Codes("Primary Key constraint '%s' violated. Duplicate found.", {30319}),
    Codes("Constraint unique '%s' violated. Duplicate found.", {30320}),
    Codes("Index '%s' not found", {30325, 30326}),
    Codes("The method '%s' not overrided in class '%s'", {30339}),
    Codes("Cannot rename field '%s'. Field '%s' already exists", {30344, 30346}),

    // Values and indexes.
    Codes("Index not found", {20018}),
    Codes("Internal index error", {20020, 20024}),
    Codes("Index error: page is empty", {20025, 20112}),
    Codes("Index error: cannot delete entry. Entry not found", {20027, 20250}),
    Codes("Index integrity error. PageNo=%d EntryNo=%d", {20028, 20029, 20030, 20031, 20194}),
    Codes("Index integrity error. Circular links. PageNo=%d EntryNo=%d", {20032}),
    Codes("Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d", {20033, 20034}),
    Codes("Invalid index key path", {20051, 20052}),
    Codes("Invalid 'get record' mode for index: grmCurrent", {20053}),
    Codes("Buffer size exceeded", {20056}),
    Codes("Index error: invalid position", {20068, 20072, 20103, 20107, 20108}),
    Codes("Index error: invalid page number", {20070, 20115, 20116, 20117, 20118}),
    Codes("Cannot retrieve record from empty index", {20074}),
    Codes("Cannot set RecNo greater than RecordCount", {20075, 20113}),
    Codes("Index error: invalid params", {20078}),
    Codes("Cannot add data item to page. Page is full", {20106}),
    Codes("Cannot retrieve record for index", {20170}),
    Codes("Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=%d, MostUpdated.RecordCount=%d", {20292}),
    Codes("Value is Null", {30016, 30140}),
    Codes("Cannot compare Incompatible DataTypes: '%s' and '%s'", {30044}),
    Codes("Unknown return code: %d", {30045}),
    Codes("The operating system lacks Unicode support. Place the Microsoft Layer for Unicode library file \"unicows.dll\" next to the application", {30046}),
    Codes("Unknown DataType: '%s'", {30047, 30050, 30289}),
    Codes("Cannot copy data into new memory", {30054}),
    Codes("Unsupported Variant Type %s", {30113, 30114}),
    Codes("Not numeric argument in numeric operator '%s'", {30127}),
    Codes("Cannot cast from '%s' to '%s'", {30051, 30052}),
    Codes("Cannot invert value with not numeric type '%s'", {30123}),
    Codes("Division error: %s", {30128}),
    // 20295 and 20043 (below) are no "Pointer is nil", whatever older lists of the codes
    // say: the index key raises them with these texts, and reports and callers match on
    // what is raised.
    Codes("Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please use CAST(blob_field, string) function to convert BLOB field to a string expression before indexing.", {20295}),

    // Datasets, cursors, sessions and database components.
    Codes("Dataset not in edit or insert mode", {10007, 10111}),
    Codes("Cannot retrieve record", {10026}),
    Codes("Table not found, table name = %s", {10027, 10028, 10073, 10151}),
    Codes("Dataset is not opened", {10029, 10068, 10075}),
    Codes("Dataset is not in insert or edit mode", {10030, 10076}),
    Codes("Dataset is in read only mode", {10032, 10107}),
    Codes("BLOB field already opened. FieldNo = %d, FieldName = %s", {10115}),
    Codes("Cannot write to read only stream", {10115, 10116}),
    Codes("Cannot perform LOCATE on a closed dataset", {10271}),
    Codes("No fields were specified while setting projection", {10322}),
    Codes("Cannot find field %s", {10323}),
    Codes("Cannot find index %s", {10325}),
    Codes("Table '%s.%s' already exists", {10515, 30448}),
    Codes("Error creating table handle", {20001}),
    Codes("Invalid session name '%s'", {20002}),
    Codes("Field %s is not in the current index", {20019}),
    Codes("Cannot delete index '%s'. Index not found", {20021}),
    Codes("Cannot create index '%s'. Index already exists", {20022}),
    Codes("No SQL statement available", {20034, 30142}),
    Codes("Invalid index name '%s'", {20046, 20048}),
    // 20043: an index key's column that names no field (see 20295 above).
    Codes("Cannot find index field '%s'", {20043, 20047, 20049, 20050}),
    Codes("Cannot create database. Database is already open", {20092}),
    Codes("Table '%s' not found", {20132, 20133, 20134}),
    Codes("Cannot perform '%s' operation on a database in transaction", {20175, 20176, 20177, 20179, 20180, 20181, 20182, 20183}),
    Codes("Database is not within a transaction. Cannot perform operation", {20229}),
    Codes("The database could not be converted to the new format. Please report this problem to the database engine's support", {20238}),
    Codes("Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create table '%s'", {20257}),
    Codes("Cannot copy table \"%s\". Field object for field \"%s\" is not created.", {20297}),
    Codes("Database password is invalid.", {20298}),
    Codes("There is not enough free space on drive to perform required operation with the database file.", {20303}),
    Codes("Cannot perform this operation on an open dataset", {30141}),
    Codes("Cannot copy table '%s.%s' into it self", {30447}),
    Codes("Create database error: '%s'", {30449}),
    Codes("Create table '%s.%s' error: '%s'", {30450}),
    Codes("Table %s already exists", {30451}),
    Codes("Cannot rename table '%s' into itself", {30452}),
    Codes("Cannot create table '%s' with field: %s %s(%d)", {30453}),
    Codes("Missing field name. FieldNo=%d, table '%s'", {30499}),
};

constexpr int32_t LowestNativeError = 10000;
constexpr int32_t HighestNativeError = 30499;

constexpr bool IsWellFormed(const MessageEntry& entry) {
  if (entry.ListedCount < 1 || entry.ListedCount > MessageEntry::MaxListedCodes) return false;
  if (entry.LowestCode() < LowestNativeError || entry.HighestCode() > HighestNativeError) return false;
  for (size_t k = 1; k < entry.ListedCount; ++k)
    if (entry.Listed[k] <= entry.Listed[k - 1]) return false;
  return true;
}

constexpr bool SameText(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

// Each message is listed once, with all of its codes.
constexpr bool EachTextOnce() {
  const size_t count = std::size(Messages);
  for (size_t i = 0; i < count; ++i)
    for (size_t j = i + 1; j < count; ++j)
      if (SameText(Messages[i].Text, Messages[j].Text)) return false;
  return true;
}
static_assert(EachTextOnce(), "a message is listed once, with all of its codes");
static_assert(std::ranges::all_of(Messages, IsWellFormed), "codes must be ascending and in range");

}  // namespace

bool MessageEntry::HasExactCode(int32_t code) const {
  return std::ranges::find(ExactCodes(), code) != ExactCodes().end();
}

std::span<const MessageEntry> AllMessages() { return Messages; }

const char* MessageForCode(int32_t code) {
  for (const MessageEntry& entry : Messages)
    if (entry.HasExactCode(code)) return entry.Text;
  return nullptr;
}

std::vector<const MessageEntry*> MessagesForCode(int32_t code) {
  std::vector<const MessageEntry*> found;
  for (const MessageEntry& entry : Messages)
    if (entry.HasExactCode(code)) found.push_back(&entry);
  return found;
}

}  // namespace zdb
