// The list of name=value entries that carries the update's file entries and
// writes the replacement queue.
#include "nxUtils.h"

namespace {

constexpr char kLineBreak[] = "\r\n";

bool SameAsciiText(const AnsiString& a, const AnsiString& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void TnxStringList::Changing() {
  if (OnChanging) OnChanging(*this);
}

void TnxStringList::Changed() {
  if (OnChange) OnChange(*this);
}

int TnxStringList::Add(const AnsiString& s) {
  if (MaxCount == 0) return -1;
  // The list is in insertion order, so only a full search finds every
  // earlier copy of s.
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (!SameAsciiText(items_[i], s)) continue;
    if (Duplicates == dupIgnore) return static_cast<int>(i);
    if (Duplicates == dupError) throw Exception("String list does not allow duplicates");
    break;
  }
  if (Count() >= MaxCount) DeleteFirst();
  Changing();
  items_.push_back(s);
  Changed();
  return Count() - 1;
}

void TnxStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw Exception("List index out of bounds");
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TnxStringList::DeleteFirst() {
  if (items_.empty()) return;
  // Dropping the oldest entry to make room is part of an Add, which reports
  // the change itself.
  auto changing = std::move(OnChanging);
  auto change = std::move(OnChange);
  OnChanging = nullptr;
  OnChange = nullptr;
  scope_exit restore([&] {
    OnChanging = std::move(changing);
    OnChange = std::move(change);
  });
  Delete(0);
}

void TnxStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TnxStringList::SeparatorPos(int index) const {
  const AnsiString& item = items_.at(index);
  if (Separator.empty()) return 0;
  const std::size_t found = SeparatorFromEnd ? item.rfind(Separator) : item.find(Separator);
  return found == AnsiString::npos ? 0 : static_cast<int>(found) + 1;
}

AnsiString TnxStringList::ItemName(int index) const {
  const int pos = SeparatorPos(index);
  const AnsiString& item = items_.at(index);
  return pos == 0 ? item : item.substr(0, pos - 1);
}

AnsiString TnxStringList::ItemValue(int index) const {
  const int pos = SeparatorPos(index);
  if (pos == 0) return AnsiString();
  return items_.at(index).substr(pos - 1 + Separator.size());
}

void TnxStringList::SetItemValue(int index, const AnsiString& value) {
  if (SeparatorPos(index) == 0) return;
  Changing();
  items_.at(index) = ItemName(index) + Separator + value;
  Changed();
}

void TnxStringList::SaveValuesToFile(const AnsiString& fileName) const {
  unique_handle file;
  for (int i = 0; i < Count(); ++i) {
    const AnsiString value = ItemValue(i);
    if (value.empty()) continue;
    // Created only now, so that a list without values leaves an older file alone.
    if (!file) {
      file.reset(CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file) return;
    }
    const AnsiString line = value + kLineBreak;
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}
