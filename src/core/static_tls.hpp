// Per-thread variables whose memory comes with the thread. glibc gives the thread_local
// variables of a module loaded by dlopen their memory lazily, at a thread's first use, and ends
// the process (exit status 127) when it cannot have it; a module with initial-exec variables has
// its whole block in the static TLS that every thread is created with, so a thread that runs
// short of memory later can still reach it.
#pragma once

#define CAUSTICA_STATIC_TLS [[gnu::tls_model("initial-exec")]]
