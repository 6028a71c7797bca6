#pragma once

// What following the radio needs to know about rigctld's plain protocol, and every
// number the follower works by, in one place.
//
// One command a line, one answer a line:
//
//   "t\n"  ->  "0\n" receiving, "1\n" transmitting, or "RPRT -11\n" when the rig
//             cannot tell (rigctld's dummy rig says so unless started with -P RIG)
//   "f\n"  ->  "14074000\n", the frequency in Hz, or "RPRT -n\n" on an error

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvik::rig {

inline constexpr std::string_view kDefaultHost = "127.0.0.1";
inline constexpr std::uint16_t kDefaultPort = 4532;

// PTT is asked first, so the frequency that follows is judged with a fresh PTT.
inline constexpr std::string_view kGetPtt = "t\n";
inline constexpr std::string_view kGetFrequency = "f\n";

// A radio at rest is asked every kPollIntervalMs, so a single jump is seen within that.
// Once a reading differs from the last, it is asked every kTuningPollIntervalMs until
// kTuningHoldMs pass without a change: the last step of a knob spin, the one the
// antenna must catch, is then seen within 50 ms. rigctld answers from its own cache
// (-C cache_timeout=...), so the faster questions need not reach the radio.
inline constexpr int kPollIntervalMs = 250;
inline constexpr int kTuningPollIntervalMs = 50;
inline constexpr int kTuningHoldMs = 2000;
// While the transmit interlock is armed, PTT is asked at least this often, following or
// not; the frequency keeps its own pace above.
inline constexpr int kPttPollIntervalMs = 100;
// Also the longest a connection attempt may take before it counts as no answer.
inline constexpr int kAnswerTimeoutMs = 1000;
// Wait before each reconnection; the last step repeats for as long as following is on.
inline constexpr std::array<int, 3> kReconnectBackoffMs{1000, 2000, 5000};

inline constexpr int kDefaultThresholdKHz = 20;
inline constexpr int kDefaultSettleMs = 500;

// The antenna's range: 160 m to 6 m, both edges included.
inline constexpr std::int64_t kFollowLowHz = 1'800'000;
inline constexpr std::int64_t kFollowHighHz = 54'000'000;

// No amateur band lies above 300 GHz, so no radio reports more: a larger number is
// a broken reading. It also keeps the digits far from overflowing 64 bits.
inline constexpr std::int64_t kMaxReadingHz = 300'000'000'000;

// A longer answer line drops the connection: no answer to "f" or "t" comes near it.
inline constexpr int kMaxLineBytes = 256;

} // namespace tarvik::rig
