// One simulated Key: its formatting, PIN and attempt counter, card ID, label,
// per-application values and data areas, and the biometric record. The data
// areas and the biometric record share the Key's memory (its capacity), so a
// Key can run out of free space.
//
// These are pure operations on the state; loading and saving it is done by
// simulator_files.h under the cross-process lock.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

inline constexpr std::size_t kMaxLabelLength = 32;
inline constexpr std::size_t kMaxPinLength = 64;
inline constexpr std::uint32_t kDefaultCapacity = 16 * 1024;
inline constexpr std::uint32_t kMaxCapacity = 1024 * 1024;
inline constexpr int kDefaultAttempts = 3;
inline constexpr int kMaxAttempts = 99;

using CardId = std::array<std::uint8_t, 8>;

struct Application {
  std::uint32_t value1 = 0;
  std::uint32_t value2 = 0;
  SecretBytes data;  // the used part of the data area
};

struct KeyState {
  bool formatted = false;
  bool finallyBlocked = false;
  bool faulty = false;               // the Key answers every card operation with an error
  std::uint8_t attemptsMax = 0;      // 0: the Key keeps no attempt count
  std::uint8_t attemptsLeft = 0;
  CardId cardId{};
  std::string label;
  SecretBytes pin;                   // empty: no PIN protection
  std::uint32_t capacity = kDefaultCapacity;
  SecretBytes bir;                   // biometric record, empty when none
  std::map<std::uint32_t, Application> applications;  // applications never written are absent
};

struct KeySettings {
  std::string label;
  SecretBytes pin;
  int attempts = kDefaultAttempts;   // 0: no attempt count
  std::uint32_t capacity = kDefaultCapacity;
};

// Why the settings cannot make a Key, or null when they can.
const char* SettingsProblem(const KeySettings& settings);

// A new Key with a random card ID: formatted with the settings, or blank and
// unformatted. Settings must have passed SettingsProblem.
KeyState MakeFormattedKey(const KeySettings& settings);
KeyState MakeUnformattedKey(std::uint32_t capacity);

// Formats the Key: erases its data, record and application values, sets
// label, PIN, attempts and capacity, lifts any block. The card ID stays; a
// faulty Key stays faulty.
void Format(KeyState& key, const KeySettings& settings);

// The status that InitCard reports for this Key (tvkey32_api.h).
int CardStatusOf(const KeyState& key);

bool IsBlocked(const KeyState& key);
bool HasPin(const KeyState& key);

enum class PinCheck { Right, Wrong, Blocked };

// A Key without PIN accepts any PIN. A wrong PIN uses up one attempt and
// blocks the Key at zero; a right PIN restores the full count.
PinCheck CheckPin(KeyState& key, std::string_view pin);

// Sets the PIN (empty: no PIN protection) and restores the full count.
void SetPin(KeyState& key, std::string_view pin);

void Block(KeyState& key, bool finally);
void Unblock(KeyState& key);

// Memory shared by the data areas and the biometric record.
std::uint32_t UsedMemory(const KeyState& key);
std::uint32_t FreeMemory(const KeyState& key);

// Data area of one application. Reads reach up to the capacity (the unused
// part reads as zeros); a write may extend the used size, within the free
// memory. Errors: ERROR_HANDLE_EOF (read past the capacity), kErrorNoMemory
// (the Key has not enough free memory).
std::uint32_t AreaSize(const KeyState& key, std::uint32_t application);
DWORD ReadArea(const KeyState& key, std::uint32_t application, std::uint32_t offset, std::span<std::uint8_t> out);
DWORD WriteArea(KeyState& key, std::uint32_t application, std::uint32_t offset, std::span<const std::uint8_t> in);
DWORD ResizeArea(KeyState& key, std::uint32_t application, std::uint32_t size);
void EraseArea(KeyState& key, std::uint32_t application);

// Biometric record: reads stay inside the record; writes as for data areas.
DWORD ReadBir(const KeyState& key, std::uint32_t offset, std::span<std::uint8_t> out);
DWORD WriteBir(KeyState& key, std::uint32_t offset, std::span<const std::uint8_t> in);
DWORD ResizeBir(KeyState& key, std::uint32_t size);
void EraseBir(KeyState& key);

// Application values (0, 0 for an application never set).
std::pair<std::uint32_t, std::uint32_t> ApplicationValues(const KeyState& key, std::uint32_t application);
void SetApplicationValues(KeyState& key, std::uint32_t application, std::uint32_t value1, std::uint32_t value2);

}  // namespace tv::keysim
