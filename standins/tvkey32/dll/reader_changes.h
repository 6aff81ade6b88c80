// AnyReadersChanges: each process remembers, per simulator directory, the
// generation of the reader set it last knew about, starting from the first
// time it enumerated the readers or asked.
#pragma once
#include <cstdint>
#include <string>

namespace tv::keysim {

// True once for every change of the generation since the previous call.
bool TakeReaderSetChange(const std::string& directory, std::uint32_t generation);

// Remembers the generation if this process has none for the directory yet.
void NoteReaderSetSeen(const std::string& directory, std::uint32_t generation);

}  // namespace tv::keysim
