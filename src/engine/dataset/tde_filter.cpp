// Filtering and record search of a table dataset: the record test, applying
// and removing a filter, and the find operations.
#include "engine/dataset/tde_dataset.h"

#include "engine/base/byte_order.h"
#include "engine/compare/collation.h"
#include "engine/database/session.h"
#include "engine/database/wait_cursor.h"

namespace tdb {

// ---- the filter's view of the fields ----

std::optional<TFilterFieldInfo> TTDEDataSet::FindFilterField(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& field = Field(i);
    if (SameTextIgnoringCase(field.FieldName(), name))
      return TFilterFieldInfo{i, field.DataType(), field.Size(), field.IsBlob()};
  }
  return std::nullopt;
}

const uint8_t* TTDEDataSet::FieldValuePointer(int index) const {
  const uint8_t* buffer = FieldBuffer();
  if (!buffer || index < 0 || index >= FieldCount()) return nullptr;
  return buffer + Field(index).Offset();
}

std::string TTDEDataSet::BlobFieldText(int index) const {
  if (index < 0 || index >= FieldCount()) return std::string();
  return GetBlobContent(Field(index));
}

// ---- the record test ----

void TTDEDataSet::ParseFilter(const std::string& text) {
  if (!text.empty()) parser_->Parse(text);
}

std::vector<bool> TTDEDataSet::FilterFields() const {
  std::vector<bool> named(static_cast<size_t>(FieldCount()), false);
  if (filter_text_.empty()) return named;
  for (const TExprNode* node = parser_->nodes().head(); node; node = node->next())
    if (node->kind == TExprNodeKind::kField && node->field_index >= 0 && node->field_index < FieldCount())
      named[static_cast<size_t>(node->field_index)] = true;
  return named;
}

bool TTDEDataSet::RecordPasses() {
  bool accept = true;
  if (OnFilterRecord) OnFilterRecord(*this, accept);
  if (accept && !filter_text_.empty()) accept = parser_->Evaluate(filter_options_);
  return accept;
}

// ---- applying and removing ----

void TTDEDataSet::ApplyFilter() {
  bool show_wait = true;
  if (TDadaSession* session = TDadaSessionList::Instance().FindSession(SessionName())) show_wait = session->SQLHourGlass;
  TWaitCursor wait(show_wait);
  // Whatever happens, the dataset ends in browse state on its first record.
  struct TEndOnFirst {
    TTDEDataSet& ds;
    ~TEndOnFirst() {
      ds.position_ = -1;
      try {
        ds.FetchFirst();
      } catch (...) {
        // The error that ended the filter, if any, is the one to report.
      }
    }
  } end_on_first{*this};
  TFilterScope scope(*this, CurrentRecordBuffer());
  ParseFilter(filter_text_);
  const size_t count = view_.size();
  TRecordList passed;
  {
    // The pass reads every record of the view: the reads share the file lock.
    TDadaTableIO::TReadRun run(*table_io_);
    // With no event to see the record, only the fields the expression names
    // are read; the buffer is read whole again when the pass ends.
    std::vector<bool> named;
    const bool only_named = !OnFilterRecord && !OnFilterProgress;
    if (only_named) named = FilterFields();
    // Those few fields are worked out once for the whole pass: each record
    // then costs a read of its named slots and the expression.
    TFieldBuffers items;
    TDadaTableIO::TReadPlan plan;
    if (only_named && count > 0) {
      BuildFieldBuffers(filter_buffer_, items);
      for (int f = 0; f < items.Count(); ++f)
        if (!named[static_cast<size_t>(f)]) items.Item(f).Active = false;
      plan = table_io_->PlanRead(items);
    }
    for (size_t i = 0; i < count; ++i) {
      position_ = static_cast<int>(i);
      if (plan.usable) {
        table_io_->ReadPlanned(plan, view_, position_);
        PutInt32LE(filter_buffer_ + data_size_, view_[i].RecIndex);
        filter_buffer_[data_size_ + 4] = 0;
      } else {
        ReadViewRecord(filter_buffer_, position_, only_named ? &named : nullptr);
      }
      if (RecordPasses()) passed.push_back(view_[i]);
      if (OnFilterProgress) OnFilterProgress(*this, static_cast<int>(i * 100 / count));
    }
  }
  if (passed.size() != view_.size()) {
    view_ = std::move(passed);
    ViewReplaced();
  }
  filtered_view_ = true;
}

void TTDEDataSet::RemoveFilter() {
  LoadViewList();
  position_ = -1;
  FetchFirst();
}

void TTDEDataSet::SetFiltered(bool value) {
  if (!Active()) {
    filtered_ = value;
    return;
  }
  CheckBrowseMode();
  if (value != filtered_) {
    if (value) {
      ApplyFilter();
    } else {
      RemoveFilter();
    }
    filtered_ = value;
  }
  First();
}

void TTDEDataSet::SetFilter(const std::string& text) {
  if (!Active()) {
    filter_text_ = text;
    return;
  }
  CheckBrowseMode();
  ParseFilter(text);  // a wrong text raises before anything changes
  std::string previous = filter_text_;
  filter_text_ = text;
  if (previous == text || !filtered_) return;
  RemoveFilter();
  try {
    ApplyFilter();
  } catch (...) {
    // Keep what was shown before: the previous text, applied again.
    filter_text_ = previous;
    try {
      RemoveFilter();
      ApplyFilter();
    } catch (...) {
    }
    throw;
  }
}

void TTDEDataSet::SetFilterOptions(TFilterOptions options) {
  if (!Active()) {
    filter_options_ = options;
    return;
  }
  CheckBrowseMode();
  TFilterOptions previous = filter_options_;
  filter_options_ = options;
  if (previous == options || !filtered_) return;
  RemoveFilter();
  try {
    ApplyFilter();
  } catch (...) {
    filter_options_ = previous;
    try {
      RemoveFilter();
      ApplyFilter();
    } catch (...) {
    }
    throw;
  }
}

// ---- record search ----

bool TTDEDataSet::Search(bool forward, bool from_end) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  ParseFilter(filter_text_);
  const int count = static_cast<int>(view_.size());
  const int saved = position_;
  const int start = from_end ? (forward ? 0 : count - 1) : (forward ? position_ + 1 : position_ - 1);
  int found = -1;
  try {
    TFilterScope scope(*this, CurrentRecordBuffer());
    TDadaTableIO::TReadRun run(*table_io_);
    for (int i = start; i >= 0 && i < count && found < 0; i += forward ? 1 : -1) {
      position_ = i;
      ReadViewRecord(filter_buffer_, i);
      if (RecordPasses()) found = i;
    }
  } catch (...) {
    position_ = saved;
    Resync();
    throw;
  }
  position_ = found >= 0 ? found : saved;
  Resync();
  if (found >= 0 && AfterScroll) AfterScroll(*this);
  return found >= 0;
}

bool TTDEDataSet::FindFirst() { return Search(true, true); }
bool TTDEDataSet::FindLast() { return Search(false, true); }
bool TTDEDataSet::FindNext() { return Search(true, false); }
bool TTDEDataSet::FindPrior() { return Search(false, false); }

}  // namespace tdb
