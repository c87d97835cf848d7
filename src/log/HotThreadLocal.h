// Thread-local variables that every log call reads.
#pragma once

// A few bytes of the logging framework's thread state are read several times on every log
// call. Marked variables live in the static thread-local block, which a thread reaches with one
// read instead of a call into the dynamic linker per access. Keep what is marked to a few
// bytes: a library loaded at run time gets such space only from the little the dynamic linker
// keeps spare.
#define KREL_HOT_THREAD_LOCAL __attribute__((tls_model("initial-exec"))) thread_local
