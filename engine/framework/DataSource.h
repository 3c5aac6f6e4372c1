// TDataSource and TDataLink: how a grid (or any other view) follows a dataset.
//
// A data source joins one dataset to any number of data links. A link sees a window of
// its own within the dataset's window: BufferCount rows (the dataset keeps at least as
// many buffers as its largest link asks for), RecordCount of them filled, ActiveRecord
// the current one. The link's window slides with the dataset so that the active row
// stays inside it. Subclasses override the notifications they care about.
//
// Lifetimes: a dataset, source or link that goes away detaches itself from the others.
// Not for sharing between threads.
#pragma once

#include <functional>
#include <vector>

#include "engine/base/DataSetTypes.h"

namespace data {

class TDataSet;
class TDataLink;
class TField;

class TDataSource {
 public:
  TDataSource() = default;
  explicit TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  // "Circular datalinks are not allowed" when the dataset follows this source, directly
  // or through its masters.
  void SetDataSet(TDataSet* dataSet);
  // A disabled source shows its links an inactive dataset.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // Edit through a link may put the dataset into edit state.
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool value) { autoEdit_ = value; }
  // The dataset's state, inactive without a dataset or while disabled.
  TDataSetState State() const { return state_; }
  // Starts an edit when AutoEdit and the dataset browses.
  void Edit();
  // True when the dataset is this source's, or follows a source linked to it.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  std::function<void(TDataSource&, TField*)> OnDataChange;
  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&)> OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, TDataEventInfo info);
  void UpdateState();
  void NotifyLinks(TDataEvent event, TDataEventInfo info);

  TDataSet* dataSet_ = nullptr;
  std::vector<TDataLink*> links_;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = TDataSetState::dsInactive;
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;

  // The source is enabled and its dataset open.
  bool Active() const { return active_; }
  // The dataset edits, inserts or sets a key, and the link is not read-only.
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);

  // The link's current row within its window; 0 while inactive. Setting it makes that
  // row the dataset's active record for reading fields (a grid drawing its rows), with
  // no events; put it back afterwards.
  int ActiveRecord() const;
  void SetActiveRecord(int value);
  int BufferCount() const { return bufferCount_; }
  // At least 1 ("Invalid buffer count %d"); the dataset's window grows or shrinks.
  void SetBufferCount(int value);
  // Filled rows of the link's window.
  int RecordCount() const;

  // Asks the source to start an edit; true when the link is then editing.
  bool Edit();
  // Hands the link's pending edit to the fields (UpdateData), once.
  void UpdateRecord();
  int MoveBy(int distance);
  bool Bof() const;
  bool Eof() const;

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  // distance: how many rows the link's window moved, negative upwards.
  virtual void DataSetScrolled(int distance) {
    (void)distance;
    DataSetChanged();
  }
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* field) { (void)field; }
  virtual void UpdateData() {}

 private:
  friend class TDataSet;
  friend class TDataSource;

  void DataEvent(TDataEvent event, TDataEventInfo info);
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  // Slides the window by `shift` rows, then as little as keeps the active row inside it
  // and the window filled; answers how far the window moved against its rows.
  int UpdateRange(int shift);

  TDataSource* dataSource_ = nullptr;
  int bufferCount_ = 1;
  int firstRecord_ = 0;  // the dataset's buffer index of the link's first row
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
};

}  // namespace data
