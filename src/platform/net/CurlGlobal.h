#pragma once

namespace qingtong::net {

// Initialises libcurl for the process exactly once; safe to call from any thread, any
// number of times. Every user of libcurl calls it before creating a handle.
void ensureCurlGlobal();

} // namespace qingtong::net
