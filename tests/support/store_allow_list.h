// The "tv_cstore" section of win.ini: the processes that may use the Key's
// certificates through the certificate store provider. Tests and demos set
// it for their run; the file comes back as it was when the object goes.
#pragma once
#include <string>

namespace tvtest {

class StoreAllowList {
 public:
  StoreAllowList();
  ~StoreAllowList();
  StoreAllowList(const StoreAllowList&) = delete;
  StoreAllowList& operator=(const StoreAllowList&) = delete;

  // The section holds this one entry (none when empty). A section of that
  // name left by an earlier run gives way: the first one would be read.
  bool Allow(const std::string& entry);

 private:
  std::string path_, original_;
};

}  // namespace tvtest
