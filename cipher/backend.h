#pragma once

namespace cipher {

// Which code carries AES and SHA-1. Hardware means the processor's AES and
// SHA instructions, each where the processor has it; the portable code covers
// everything else and gives the same bytes.
enum class Backend { Portable, Hardware };

// Whether this processor has the AES-NI instructions.
bool AesHardwareAvailable();

// Whether this processor has the SHA extensions.
bool ShaHardwareAvailable();

// The process-wide choice. It starts as Hardware, so every primitive uses
// the instructions the processor has. Tests and the benchmark switch to
// Portable to run the same cases through the fallback code.
void SetBackend(Backend backend);
Backend CurrentBackend();

namespace detail {
// The decisions each bulk operation takes once per call.
bool UseAesNi();
bool UseShaNi();
}  // namespace detail

}  // namespace cipher
