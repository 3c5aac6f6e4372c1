// A data link that writes down what it hears, and reads the rows of its window the way
// a grid draws them. Also: a recorder of a dataset's events.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/framework/DataSet.h"
#include "engine/framework/DataSource.h"

namespace data::testing {

class TTestLink : public TDataLink {
 public:
  std::vector<std::string> Heard;
  // Called by UpdateData: the pending edit the link hands over.
  std::function<void()> PendingEdit;

  // The field's text in every filled row of the link's window, top to bottom.
  std::vector<std::string> Column(const std::string& fieldName) {
    std::vector<std::string> texts;
    const int saved = ActiveRecord();
    for (int i = 0; i < RecordCount(); ++i) {
      SetActiveRecord(i);
      texts.push_back(DataSet()->FieldByName(fieldName).AsString());
    }
    if (RecordCount() > 0) SetActiveRecord(saved);
    return texts;
  }

 protected:
  void ActiveChanged() override { Heard.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { Heard.push_back("changed"); }
  void DataSetScrolled(int distance) override { Heard.push_back("scrolled " + std::to_string(distance)); }
  void EditingChanged() override { Heard.push_back(Editing() ? "editing" : "not editing"); }
  void RecordChanged(TField* field) override {
    Heard.push_back("record " + (field == nullptr ? std::string("-") : field->FieldName()));
  }
  void UpdateData() override {
    Heard.push_back("update data");
    if (PendingEdit) PendingEdit();
  }
  void CheckBrowseMode() override { Heard.push_back("check browse mode"); }
};

// Every event of the dataset, by name, in the order they fire.
inline void RecordEvents(TDataSet& dataSet, std::vector<std::string>& log) {
  auto note = [&log](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
  dataSet.BeforeOpen = note("BeforeOpen");
  dataSet.AfterOpen = note("AfterOpen");
  dataSet.BeforeClose = note("BeforeClose");
  dataSet.AfterClose = note("AfterClose");
  dataSet.BeforeInsert = note("BeforeInsert");
  dataSet.AfterInsert = note("AfterInsert");
  dataSet.BeforeEdit = note("BeforeEdit");
  dataSet.AfterEdit = note("AfterEdit");
  dataSet.BeforePost = note("BeforePost");
  dataSet.AfterPost = note("AfterPost");
  dataSet.BeforeCancel = note("BeforeCancel");
  dataSet.AfterCancel = note("AfterCancel");
  dataSet.BeforeDelete = note("BeforeDelete");
  dataSet.AfterDelete = note("AfterDelete");
  dataSet.BeforeScroll = note("BeforeScroll");
  dataSet.AfterScroll = note("AfterScroll");
  dataSet.BeforeRefresh = note("BeforeRefresh");
  dataSet.AfterRefresh = note("AfterRefresh");
  dataSet.OnNewRecord = note("OnNewRecord");
}

}  // namespace data::testing
