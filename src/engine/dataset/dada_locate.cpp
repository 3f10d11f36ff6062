// Locate and Lookup: finding a record by the values of key fields, through a
// matching index or a scan of the view.
#include "engine/dataset/dada_table.h"

#include "engine/compare/value_compare.h"
#include "engine/dataset/locate_keys.h"

namespace tdb {

int TDadaTable::LocateRecord(const std::string& key_fields, const std::vector<TVariant>& values,
                             bool case_insensitive, bool partial, uint8_t* scratch, bool read_found) {
  const std::vector<TLocateKey> keys =
      LocateKeys(*this, key_fields, values.size(),
                 static_cast<TLocateOptions>((case_insensitive ? loCaseInsensitive : 0) | (partial ? loPartialKey : 0)));

  // The key values go into the scratch buffer through the fields.
  InternalInitRecord(scratch);
  {
    TFilterScope scope(*this, scratch);
    for (size_t i = 0; i < keys.size(); ++i) AssignVariant(*keys[i].field, values[i]);
  }

  // An index whose fields are exactly the key fields, and that orders texts
  // with or without letter case as the keys compare them.
  int32_t index = -1;
  const TDadaIndexDefs& defs = table_io_->IndexDefs();
  for (int32_t i = 0; i < defs.Count() && index < 0; ++i) {
    const TDadaIndexDef& def = defs[i];
    if (def.FieldNos.size() != keys.size()) continue;
    bool same = true;
    for (size_t k = 0; k < keys.size(); ++k) {
      same = same && def.FieldNos[k] == keys[k].field->FieldNo() - 1;
      if (IsStringFieldType(keys[k].field->DataType()))
        same = same && def.Has(tiCaseInsensitive) == keys[k].case_insensitive;
    }
    if (same) index = i;
  }

  // The index answers when its answer is the first match in the view's
  // order: the key matches one record only, or the view is that index's
  // whole list (equal keys stand together in it).  A partial text key is
  // looked for by the scan: the texts that begin with it need not stand
  // together where letter case or punctuation weigh less than the letters.
  bool partial_text = false;
  for (const TLocateKey& key : keys) partial_text = partial_text || key.partial;
  int found = -1;
  bool scan = true;
  if (index >= 0 && !partial_text) {
    TFieldBuffers items;
    BuildFieldBuffers(scratch, items);
    table_io_->LoadIndexList(index + 1, false);
    const TRecordList& list = table_io_->IndexLists(index + 1);
    const TDadaTableIO::TSearchRun run = table_io_->SearchIndexRun(items, list, index);
    const TSearchResult& first = run.First;
    const TSearchResult& last = run.Last;
    if (first.Side != kSearchEqual) return -1;
    const bool whole_list = index == index_no_ && !filtered_view_ && !range_;
    if (first.Position == last.Position || whole_list) {
      scan = false;
      const TBookmark record = list[static_cast<size_t>(first.Position)].RecIndex;
      if (!filtered_view_ && !range_) {
        // The view is normally the current order's whole list: map into that
        // list, and trust the answer only when the view agrees (another
        // dataset may have changed the storage's lists since it was loaded).
        int mapped = index == index_no_
                         ? first.Position
                         : table_io_->ListPosToListPos(index, first.Position, table_io_->IndexLists(index_no_ + 1));
        if (mapped >= 0 && static_cast<size_t>(mapped) < view_.size() &&
            view_[static_cast<size_t>(mapped)].RecIndex == record)
          found = mapped;
      }
      for (size_t p = 0; p < view_.size() && found < 0; ++p)
        if (view_[p].RecIndex == record) found = static_cast<int>(p);
    }
  }
  if (scan) {
    for (size_t p = 0; p < view_.size() && found < 0; ++p) {
      bool match = true;
      for (const TLocateKey& locate_key : keys) {
        TField* key = locate_key.field;
        std::vector<uint8_t> stored = table_io_->ReadFieldValue(view_[p].RecIndex, key->FieldNo() - 1);
        std::string key_text;
        TFieldValue k{scratch + key->Offset(), key->DataType(), -1};
        TFieldValue s{stored.data(), key->DataType(), -1};
        if (key->IsBlob()) {
          const std::vector<uint8_t>& bytes = StreamOf(scratch, *key)->Bytes();
          k = TFieldValue{bytes.data(), key->DataType(), static_cast<std::ptrdiff_t>(bytes.size())};
          s.text_length = static_cast<std::ptrdiff_t>(stored.size());
        } else if (IsStringFieldType(key->DataType())) {
          s.text_length = static_cast<std::ptrdiff_t>(stored.size());
        }
        if (!LocateKeyMatches(locate_key, k, s)) {
          match = false;
          break;
        }
      }
      if (match) found = static_cast<int>(p);
    }
  }
  if (found >= 0 && read_found) ReadViewRecord(scratch, found);
  return found;
}

bool TDadaTable::Locate(const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  Buffer scratch = AllocBuffer();
  // The found record becomes current and is read into the current buffer;
  // the scratch buffer only carries the key.
  int found = LocateRecord(key_fields, values, options & loCaseInsensitive, options & loPartialKey, scratch.get(),
                           false);
  if (found < 0) return false;
  position_ = found;
  Resync();
  if (AfterScroll) AfterScroll(*this);
  return true;
}

std::optional<std::vector<TVariant>> TDadaTable::Lookup(const std::string& key_fields,
                                                        const std::vector<TVariant>& values,
                                                        const std::string& result_fields) {
  CheckBrowseMode();
  std::vector<TField*> results = NamedFields(*this, result_fields);
  Buffer scratch = AllocBuffer();
  int saved = position_;
  int found = LocateRecord(key_fields, values, false, false, scratch.get(), true);
  position_ = saved;
  if (found < 0) return std::nullopt;
  std::vector<TVariant> out;
  TFilterScope scope(*this, scratch.get());
  if (OnCalcFields && AutoCalcFields) OnCalcFields(*this);
  for (TField* f : results) out.push_back(FieldVariant(*f));
  return out;
}

TNearest TDadaTable::FindNearest(const TField& field, const TVariant& key, bool partial, bool case_insensitive) {
  CheckActive();
  if (index_no_ < 0) Error("No index currently active");
  const TDadaIndexDef& index = table_io_->IndexDefs()[index_no_];
  if (index.FieldNos.empty() || index.FieldNos[0] != field.FieldNo() - 1 || field.IsBlob())
    Error(Format("Field '%s' does not order the view", {field.FieldName()}));
  TNearest result;
  if (view_.empty()) return result;

  // The key in the field's encoding, written through the field into a scratch buffer.
  Buffer scratch = AllocBuffer();
  InternalInitRecord(scratch.get());
  {
    TFilterScope scope(*this, scratch.get());
    AssignVariant(const_cast<TField&>(field), key);
  }
  const TFieldValue k{scratch.get() + field.Offset(), field.DataType(), -1};
  const bool is_text = IsStringFieldType(field.DataType());
  const bool descending = index.Has(tiDescending);
  // Letter case is a lesser difference than the letters in the collation, so
  // an order with case is still sorted when case is ignored: a binary search
  // that ignores it finds the first row that matches without regard to it.
  auto compare = [&](int pos) {
    std::vector<uint8_t> stored = table_io_->ReadFieldValue(view_[static_cast<size_t>(pos)].RecIndex, field.FieldNo() - 1);
    TFieldValue s{stored.data(), field.DataType(), is_text ? static_cast<std::ptrdiff_t>(stored.size()) : -1};
    return CompareKeyValue(k, s, partial && is_text, case_insensitive);
  };
  // The first position whose value is not below the key in the view's order.
  int lo = 0;
  int hi = static_cast<int>(view_.size());
  TDadaTableIO::TReadRun run(*table_io_);
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    int c = compare(mid);
    bool key_after = descending ? c < 0 : c > 0;
    if (key_after)
      lo = mid + 1;
    else
      hi = mid;
  }
  const int count = static_cast<int>(view_.size());
  result.Position = lo < count ? lo : count - 1;
  result.Match = lo < count && compare(lo) == 0;
  return result;
}

}  // namespace tdb
