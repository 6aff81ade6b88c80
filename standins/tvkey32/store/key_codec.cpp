#include "standins/tvkey32/store/key_codec.h"

#include <utility>

#include "standins/tvkey32/store/byte_codec.h"

namespace tv::keysim {
namespace {

constexpr std::uint8_t kFormatted = 1;
constexpr std::uint8_t kFinallyBlocked = 2;
constexpr std::uint8_t kFaulty = 4;
constexpr std::uint32_t kMaxApplications = 4096;

std::uint8_t Flags(const KeyState& key) {
  return static_cast<std::uint8_t>((key.formatted ? kFormatted : 0) | (key.finallyBlocked ? kFinallyBlocked : 0) |
                                   (key.faulty ? kFaulty : 0));
}

bool IsConsistent(const KeyState& key) {
  std::uint64_t used = key.bir.size();
  for (const auto& [number, app] : key.applications) used += app.data.size();
  return key.attemptsLeft <= key.attemptsMax && key.attemptsMax <= kMaxAttempts &&
         key.capacity <= kMaxCapacity && used <= key.capacity;
}

}  // namespace

SecretBytes EncodeKey(const KeyState& key) {
  ByteWriter w;
  w.U8(Flags(key));
  w.U8(key.attemptsMax);
  w.U8(key.attemptsLeft);
  w.Bytes(key.cardId);
  w.Text(key.label);
  w.Blob(key.pin);
  w.U32(key.capacity);
  w.Blob(key.bir);
  w.U32(static_cast<std::uint32_t>(key.applications.size()));
  for (const auto& [number, app] : key.applications) {
    w.U32(number);
    w.U32(app.value1);
    w.U32(app.value2);
    w.Blob(app.data);
  }
  return std::move(w.Output());
}

std::optional<KeyState> DecodeKey(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  KeyState key;
  const std::uint8_t flags = r.U8();
  key.formatted = flags & kFormatted;
  key.finallyBlocked = flags & kFinallyBlocked;
  key.faulty = flags & kFaulty;
  key.attemptsMax = r.U8();
  key.attemptsLeft = r.U8();
  r.Bytes(key.cardId);
  key.label = r.Text(kMaxLabelLength);
  key.pin = r.Blob(kMaxPinLength);
  key.capacity = r.U32();
  key.bir = r.Blob(kMaxCapacity);
  const std::uint32_t count = r.U32();
  if (count > kMaxApplications) return std::nullopt;
  for (std::uint32_t i = 0; i < count && r.Ok(); ++i) {
    const std::uint32_t number = r.U32();
    Application app;
    app.value1 = r.U32();
    app.value2 = r.U32();
    app.data = r.Blob(kMaxCapacity);
    if (!key.applications.emplace(number, std::move(app)).second) return std::nullopt;
  }
  if (!r.AtEnd() || !IsConsistent(key)) return std::nullopt;
  return key;
}

}  // namespace tv::keysim
