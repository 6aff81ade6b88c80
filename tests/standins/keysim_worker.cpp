// A second process for the simulator's multi-process tests. It works on the
// Key in reader "R" (PIN "1234") of the simulator directory it inherits
// through TV_KEYSIM_DIR, through tvkey32.dll bound as the system binds it.
//   keysim_worker write HEX         write the bytes as the whole data area
//   keysim_worker expect HEX        exit 0 when the data area holds the bytes
//   keysim_worker hammer SLOT N     N times: open, write the count into slot SLOT (4 bytes), close
//   keysim_worker churn SIZE        rewrite SIZE bytes of one value, a new value each time, forever
//   keysim_worker hold-lock EVENT   take the simulator's lock, signal EVENT, wait forever
// Exit codes: 0 done, 2 usage, 3 mismatch, 10 + step for a failed call.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/simulator_directory.h"
#include "tests/standins/tvkey32_binding.h"

namespace {

tvtest::Tvkey32 api;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

// Reader "R" with its Key opened and the PIN verified, or -1.
int OpenKey() {
  const int reader = api.InitReader("R");
  if (reader == -1 || api.InitCard(reader, 221) < 1 || !api.VerifyPIN(reader, "1234")) return -1;
  return reader;
}

int Write(const std::string& bytes) {
  const int reader = OpenKey();
  if (reader == -1) return 11;
  DWORD length = static_cast<DWORD>(bytes.size());
  if (!api.WriteData(reader, 0, bytes.data(), &length) || !api.SetDataSize(reader, length)) return 12;
  return 0;
}

int Expect(const std::string& bytes) {
  const int reader = OpenKey();
  if (reader == -1) return 11;
  DWORD length = 0;
  if (!api.ReadData(reader, 0, nullptr, &length)) return 12;
  std::string data(length, '\0');
  if (length > 0 && !api.ReadData(reader, 0, data.data(), &length)) return 13;
  return data == bytes ? 0 : 3;
}

int Hammer(DWORD slot, int count) {
  const int reader = api.InitReader("R");
  for (int i = 1; i <= count; ++i) {
    if (api.InitCard(reader, 221) < 1) return 11;
    if (!api.VerifyPIN(reader, "1234")) return 12;
    DWORD length = sizeof i;
    if (!api.WriteData(reader, slot * 4, &i, &length)) return 13;
    api.CloseCard(reader, 0);
  }
  return 0;
}

int Churn(DWORD size) {
  const int reader = OpenKey();
  if (reader == -1) return 11;
  std::vector<BYTE> data(size);
  for (unsigned value = 1;; ++value) {
    std::fill(data.begin(), data.end(), static_cast<BYTE>(value));
    DWORD length = size;
    if (!api.WriteData(reader, 0, data.data(), &length)) return 12;
  }
}

int HoldLock(const std::string& eventName) {
  tv::keysim::CrossProcessLock lock(tv::keysim::SimulatorDirectory());
  if (lock.Error() != 0) return 11;
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
  if (!event || !SetEvent(event)) return 12;
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  const std::string mode = argv[1];
  if (mode == "hold-lock") return HoldLock(argv[2]);
  if (!api.Bind()) return 10;
  if (mode == "write") return Write(FromHex(argv[2]));
  if (mode == "expect") return Expect(FromHex(argv[2]));
  if (mode == "hammer" && argc == 4) return Hammer(static_cast<DWORD>(atoi(argv[2])), atoi(argv[3]));
  if (mode == "churn") return Churn(static_cast<DWORD>(atoi(argv[2])));
  return 2;
}
