// Knobs of the libcurl fetch that only the tests turn.
#pragma once

#include <string>

namespace velmora {

// Shortens the connect and whole-transfer time-outs of transfers started
// afterwards, so that a stalled server fails a test in seconds, not in 30 s.
// Zero or negative values restore the defaults (15 s and 30 s).
void SetFetchTimeoutsForTesting(long connectMs, long totalMs);

// Trusts the certificates in the PEM file `path` instead of the system's, for
// transfers started afterwards, so that a local https server can be reached;
// "" restores the system's.
void SetFetchCaFileForTesting(const std::string& path);

}  // namespace velmora
