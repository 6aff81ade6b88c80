#include "standins/tvkey32/store/key_state.h"

#include <algorithm>

#include "standins/tvkey32/store/card_errors.h"
#include "standins/tvkey32/store/os_random.h"
#include "standins/tvkey32/tvkey32_api.h"

namespace tv::keysim {
namespace {

bool IsPrintable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; });
}

void WipeTail(SecretBytes& region, std::size_t newSize) {
  if (newSize < region.size()) SecureZeroMemory(region.data() + newSize, region.size() - newSize);
  region.resize(newSize);
}

// Grows or shrinks a region to `size`; growth must fit in the Key's free
// memory and the whole region in its capacity.
DWORD ResizeRegion(SecretBytes& region, std::uint64_t size, std::uint32_t freeMemory, std::uint32_t capacity) {
  if (size > capacity) return kErrorNoMemory;
  if (size > region.size() && size - region.size() > freeMemory) return kErrorNoMemory;
  WipeTail(region, static_cast<std::size_t>(size));
  return 0;
}

DWORD WriteRegion(SecretBytes& region, std::uint32_t offset, std::span<const std::uint8_t> in,
                  std::uint32_t freeMemory, std::uint32_t capacity) {
  if (in.empty()) return 0;
  const std::uint64_t end = std::uint64_t{offset} + in.size();
  if (end > region.size()) {
    const DWORD error = ResizeRegion(region, end, freeMemory, capacity);
    if (error != 0) return error;
  }
  std::copy(in.begin(), in.end(), region.begin() + offset);
  return 0;
}

// Copies from a region that reads as zeros past its used part, up to `limit`.
DWORD ReadRegion(const SecretBytes& region, std::uint32_t offset, std::span<std::uint8_t> out, std::uint32_t limit) {
  if (std::uint64_t{offset} + out.size() > limit) return ERROR_HANDLE_EOF;
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  if (offset < region.size()) {
    const std::size_t n = std::min(out.size(), region.size() - offset);
    std::copy_n(region.begin() + offset, n, out.begin());
  }
  return 0;
}

CardId NewCardId() {
  CardId id{};
  FillRandom(id);
  return id;
}

void ApplySettings(KeyState& key, const KeySettings& settings) {
  key.formatted = true;
  key.finallyBlocked = false;
  key.label = settings.label;
  key.pin = settings.pin;
  key.attemptsMax = static_cast<std::uint8_t>(settings.attempts);
  key.attemptsLeft = key.attemptsMax;
  key.capacity = settings.capacity;
  key.bir.clear();
  key.applications.clear();
}

}  // namespace

const char* SettingsProblem(const KeySettings& settings) {
  if (settings.label.size() > kMaxLabelLength) return "the label is longer than 32 characters";
  if (!IsPrintable(settings.label)) return "the label holds control characters";
  if (settings.pin.size() > kMaxPinLength) return "the PIN is longer than 64 characters";
  if (!IsPrintable(AsText(settings.pin))) return "the PIN holds control characters";
  if (settings.attempts < 0 || settings.attempts > kMaxAttempts) return "attempts must be 0 to 99";
  if (settings.capacity > kMaxCapacity) return "the capacity is larger than 1048576 bytes";
  return nullptr;
}

KeyState MakeFormattedKey(const KeySettings& settings) {
  KeyState key;
  key.cardId = NewCardId();
  ApplySettings(key, settings);
  return key;
}

KeyState MakeUnformattedKey(std::uint32_t capacity) {
  KeyState key;
  key.cardId = NewCardId();
  key.capacity = capacity;
  return key;
}

void Format(KeyState& key, const KeySettings& settings) { ApplySettings(key, settings); }

bool IsBlocked(const KeyState& key) {
  return key.finallyBlocked || (key.attemptsMax > 0 && key.attemptsLeft == 0);
}

bool HasPin(const KeyState& key) { return !key.pin.empty(); }

int CardStatusOf(const KeyState& key) {
  if (key.faulty) return tvkey32::kStatusKeyError;
  if (!key.formatted) return tvkey32::kStatusNotFormatted;
  if (key.finallyBlocked) return tvkey32::kStatusFinallyBlocked;
  if (key.attemptsMax == 0) return tvkey32::kStatusNoAttemptCount;
  return key.attemptsLeft;
}

PinCheck CheckPin(KeyState& key, std::string_view pin) {
  if (IsBlocked(key)) return PinCheck::Blocked;
  if (!HasPin(key) || EqualInConstantTime(AsText(key.pin), pin)) {
    key.attemptsLeft = key.attemptsMax;
    return PinCheck::Right;
  }
  // An empty PIN is refused before it reaches the Key, as a reader refuses a
  // PIN of length 0: asking whether a Key needs a PIN costs no attempt.
  if (pin.empty()) return PinCheck::Wrong;
  if (key.attemptsLeft > 0) --key.attemptsLeft;
  return PinCheck::Wrong;
}

void SetPin(KeyState& key, std::string_view pin) {
  key.pin = ToSecret(pin);
  key.attemptsLeft = key.attemptsMax;
}

void Block(KeyState& key, bool finally) {
  if (finally) key.finallyBlocked = true;
  key.attemptsLeft = 0;
}

void Unblock(KeyState& key) {
  key.finallyBlocked = false;
  key.attemptsLeft = key.attemptsMax;
}

std::uint32_t UsedMemory(const KeyState& key) {
  std::uint64_t used = key.bir.size();
  for (const auto& [number, app] : key.applications) used += app.data.size();
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(used, 0xFFFFFFFFu));
}

std::uint32_t FreeMemory(const KeyState& key) {
  const std::uint32_t used = UsedMemory(key);
  return used < key.capacity ? key.capacity - used : 0;
}

std::uint32_t AreaSize(const KeyState& key, std::uint32_t application) {
  const auto it = key.applications.find(application);
  return it == key.applications.end() ? 0 : static_cast<std::uint32_t>(it->second.data.size());
}

DWORD ReadArea(const KeyState& key, std::uint32_t application, std::uint32_t offset, std::span<std::uint8_t> out) {
  static const SecretBytes kEmpty;
  const auto it = key.applications.find(application);
  return ReadRegion(it == key.applications.end() ? kEmpty : it->second.data, offset, out, key.capacity);
}

DWORD WriteArea(KeyState& key, std::uint32_t application, std::uint32_t offset, std::span<const std::uint8_t> in) {
  const std::uint32_t freeMemory = FreeMemory(key);
  return WriteRegion(key.applications[application].data, offset, in, freeMemory, key.capacity);
}

DWORD ResizeArea(KeyState& key, std::uint32_t application, std::uint32_t size) {
  const std::uint32_t freeMemory = FreeMemory(key);
  return ResizeRegion(key.applications[application].data, size, freeMemory, key.capacity);
}

void EraseArea(KeyState& key, std::uint32_t application) {
  const auto it = key.applications.find(application);
  if (it != key.applications.end()) WipeTail(it->second.data, 0);
}

DWORD ReadBir(const KeyState& key, std::uint32_t offset, std::span<std::uint8_t> out) {
  return ReadRegion(key.bir, offset, out, static_cast<std::uint32_t>(key.bir.size()));
}

DWORD WriteBir(KeyState& key, std::uint32_t offset, std::span<const std::uint8_t> in) {
  return WriteRegion(key.bir, offset, in, FreeMemory(key), key.capacity);
}

DWORD ResizeBir(KeyState& key, std::uint32_t size) { return ResizeRegion(key.bir, size, FreeMemory(key), key.capacity); }

void EraseBir(KeyState& key) { WipeTail(key.bir, 0); }

std::pair<std::uint32_t, std::uint32_t> ApplicationValues(const KeyState& key, std::uint32_t application) {
  const auto it = key.applications.find(application);
  if (it == key.applications.end()) return {0, 0};
  return {it->second.value1, it->second.value2};
}

void SetApplicationValues(KeyState& key, std::uint32_t application, std::uint32_t value1, std::uint32_t value2) {
  Application& app = key.applications[application];
  app.value1 = value1;
  app.value2 = value2;
}

}  // namespace tv::keysim
