// Knobs of the libcurl fetch that only the tests turn.
#pragma once

namespace velmora {

// Shortens the connect and whole-transfer time-outs of transfers started
// afterwards, so that a stalled server fails a test in seconds, not in 30 s.
// Zero or negative values restore the defaults (15 s and 30 s).
void SetFetchTimeoutsForTesting(long connectMs, long totalMs);

}  // namespace velmora
