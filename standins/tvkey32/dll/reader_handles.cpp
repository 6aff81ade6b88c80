#include "standins/tvkey32/dll/reader_handles.h"

#include <map>
#include <set>

namespace tv::keysim {
namespace {

struct HandleTable {
  int next = 1;
  std::map<int, ReaderHandle> handles;
  std::set<std::string> texts;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

std::mutex& ApiMutex() {
  static std::mutex mutex;
  return mutex;
}

int OpenReaderHandle(ReaderHandle handle) {
  HandleTable& t = Table();
  const int number = t.next++;
  t.handles.emplace(number, std::move(handle));
  return number;
}

ReaderHandle* FindReaderHandle(int handle) {
  auto& handles = Table().handles;
  const auto it = handles.find(handle);
  return it == handles.end() ? nullptr : &it->second;
}

bool CloseReaderHandle(int handle) { return Table().handles.erase(handle) > 0; }

const char* InternText(const std::string& text) { return Table().texts.insert(text).first->c_str(); }

}  // namespace tv::keysim
