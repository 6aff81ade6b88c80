// A token library that answers more than it should: 70 readers with names
// of 300 characters and labels that fill their whole buffer. The reader
// manager must keep within its fields. Operations no test reaches fail.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kReaders = 70;
constexpr int kNameLength = 300;
char names[kReaders][kNameLength + 1];

}  // namespace

extern "C" {

const char* WINAPI EnumReaders(int index) {
  if (index < 0 || index >= kReaders) return nullptr;
  char* name = names[index];
  std::memset(name, 'x', kNameLength);
  std::snprintf(name, 4, "%03d", index);
  name[3] = 'x';
  name[kNameLength] = '\0';
  return name;
}
int WINAPI InitReader(const char*) { return 1; }
BOOL WINAPI CloseReader(int) { return TRUE; }
int WINAPI InitCard(int, int) { return 3; }
BOOL WINAPI CloseCard(int, int) { return TRUE; }
BOOL WINAPI VerifyPIN(int, const char*) { return TRUE; }
BOOL WINAPI GetCardID(int, BYTE* id, DWORD* length) {
  std::memset(id, 0x5A, 8);
  *length = 8;
  return TRUE;
}
BOOL WINAPI GetApplicationInfo(int, int, DWORD* value1, DWORD* value2) {
  *value1 = *value2 = 0xFFFFFFFF;
  return TRUE;
}
BOOL WINAPI ReadLabel(int, char* label) {
  std::memset(label, 'L', 32);
  return TRUE;
}
BOOL WINAPI AnyReadersChanges(int) { return FALSE; }

BOOL WINAPI ChangePIN() { return FALSE; }
BOOL WINAPI UnblockPIN() { return FALSE; }
BOOL WINAPI ReadData() { return FALSE; }
BOOL WINAPI WriteData() { return FALSE; }
BOOL WINAPI DeleteData() { return FALSE; }
BOOL WINAPI SetDataSize() { return FALSE; }
BOOL WINAPI GetRandom() { return FALSE; }
BOOL WINAPI GetReaderName() { return FALSE; }
BOOL WINAPI GetReaderType() { return FALSE; }
BOOL WINAPI IsDataExist() { return FALSE; }
BOOL WINAPI IsDataExisting() { return FALSE; }
BOOL WINAPI GetCardType() { return FALSE; }
BOOL WINAPI EnumApplications() { return FALSE; }
BOOL WINAPI WriteLabel() { return FALSE; }
BOOL WINAPI ReadDataApp() { return FALSE; }
BOOL WINAPI WriteDataApp() { return FALSE; }
BOOL WINAPI SetDataSizeApp() { return FALSE; }
BOOL WINAPI ReadBIR() { return FALSE; }
BOOL WINAPI WriteBIR() { return FALSE; }
BOOL WINAPI SetBIRSize() { return FALSE; }
BOOL WINAPI DeleteBIR() { return FALSE; }
BOOL WINAPI ExternalAuth() { return FALSE; }
BOOL WINAPI ChangeIssuerKey() { return FALSE; }
BOOL WINAPI FormatCard() { return FALSE; }
BOOL WINAPI UnformatCard() { return FALSE; }

}  // extern "C"
