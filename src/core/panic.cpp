#include "core/panic.hpp"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace caustica {

namespace {

std::string thread_name() {
  char name[32] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) == 0 && name[0] != '\0') {
    return name;
  }
  return "<unnamed>";
}

}  // namespace

void panic(std::string message, SourceLocation where) {
  std::string report = "thread '" + thread_name() + "' panicked at " + where.file_name() + ":" +
                       std::to_string(where.line()) + ":" + std::to_string(where.column()) +
                       ":\n" + message + "\n";
  // One write, so reports from several threads do not interleave.
  (void)!::write(STDERR_FILENO, report.data(), report.size());
  throw Panic(std::move(message));
}

}  // namespace caustica
